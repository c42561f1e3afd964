// The arena as painted, checked on the pixels of an image.
#include "engine/ball_engine.h"
#include "tests/engine_fixture.h"
#include "views/arena_painter.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QtTest>

namespace {

struct Box {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

bool isDark(QRgb c)
{
    return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
}

bool isWhite(QRgb c)
{
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}

// Bounding box of the pixels in `area` that satisfy `test`.
template <typename Test>
Box find(const QImage &image, const QRect &area, Test test)
{
    Box box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(image.pixel(x, y))) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

QImage paintArena(Ball_engine &engine)
{
    ArenaPainter arenaPainter;
    arenaPainter.setup(uint32_t(engine.getNumAgents()), engine);
    QImage image(1600, 900, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPaintEvent event(QRect(0, 0, 1600, 900));
    arenaPainter.paint(&painter, &event, engine);
    painter.end();
    return image;
}

} // namespace

class TestArenaPainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyArenaShowsFieldAndCredit();
    void creditFollowsArenaHeight();
    void agentWithPointerNumbersAndLabel();
    void whiteNumberSitsAtCircleCorner();
    void deadAgentAndEatenResourceDrawNothing();
    void resourcesAreSolidBlackOverAgents();
    void agentColourBlendsOnlyNearTopLeft();
};

void TestArenaPainter::emptyArenaShowsFieldAndCredit()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    const QImage image = paintArena(engine);
    QVERIFY(find(image, image.rect(), [](QRgb c) { return c == qRgb(255, 0, 255); }).empty());
    const Box text = find(image, image.rect(), isDark);
    QVERIFY(!text.empty());
    // Baseline at (10, 890): glyphs start near x = 10 and sit just above it.
    QVERIFY2(text.left >= 10 && text.left <= 13, qPrintable(QString::number(text.left)));
    QVERIFY(text.top > 860);
    QVERIFY2(text.bottom >= 886 && text.bottom <= 894, qPrintable(QString::number(text.bottom)));
}

void TestArenaPainter::creditFollowsArenaHeight()
{
    Ball_engine engine;
    setUpEmptyArena(engine, 10, 60);
    QCOMPARE(engine.height, 540);
    const QImage image = paintArena(engine);
    const Box text = find(image, image.rect(), isDark);
    QVERIFY2(text.bottom >= 526 && text.bottom <= 534, qPrintable(QString::number(text.bottom)));
    QVERIFY(text.top > 500);
}

void TestArenaPainter::agentWithPointerNumbersAndLabel()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 0, 100, 100, 20);
    engine.xAcceleration[0] = 1;
    engine.yAcceleration[0] = 0;
    const QImage image = paintArena(engine);
    const QRgb plain = qRgb(240, 60, 60);

    // Circle in (80, 80, 40, 40) with a 1-pixel black outline.
    QCOMPARE(image.pixel(90, 110), plain);
    QCOMPARE(image.pixel(100, 112), plain);
    QVERIFY(qRed(image.pixel(100, 79)) < 200 && qRed(image.pixel(100, 80)) < 200);
    QVERIFY(isWhite(image.pixel(100, 75)));
    // White pointer from the centre to (110, 100), ending in a small ring that
    // reaches past the line's end.
    QVERIFY(isWhite(image.pixel(104, 100)));
    QVERIFY(isWhite(image.pixel(112, 100)));
    QCOMPARE(image.pixel(116, 100), plain);
    QCOMPARE(image.pixel(95, 100), plain);
    // Label "[1]" centred in (60, 60, 24, 24).
    const Box label = find(image, QRect(40, 40, 40, 40), isDark);
    QVERIFY(!label.empty());
    QVERIFY(label.left >= 60 && label.right < 84 && label.top >= 60 && label.bottom < 84);
    QVERIFY(std::abs((label.left + label.right) / 2 - 72) <= 2);
    // Black "20" centred in (116, 116, 24, 24).
    const Box number = find(image, QRect(116, 116, 40, 40), isDark);
    QVERIFY(!number.empty());
    QVERIFY(number.left > 116 && number.right < 140 && number.top > 116 && number.bottom < 140);
    QVERIFY(std::abs((number.left + number.right) / 2 - 128) <= 2);
}

void TestArenaPainter::whiteNumberSitsAtCircleCorner()
{
    // Over a large dark agent the white number shows: radius 100 puts it in
    // (400, 400, 24, 24), clear of the black one in (380, 380, 24, 24).
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 8, 450, 450, 150);
    placeAgent(engine, 0, 300, 300, 100);
    const QImage image = paintArena(engine);
    // Search clear of agent 8's own pointer ring around (450, 450).
    const Box white = find(image, QRect(390, 390, 40, 40), isWhite);
    QVERIFY(!white.empty());
    // "100" is about as wide as its box.
    QVERIFY(white.left >= 398 && white.right < 426 && white.top > 400 && white.bottom < 424);
    QVERIFY(std::abs((white.left + white.right) / 2 - 412) <= 2);
}

void TestArenaPainter::deadAgentAndEatenResourceDrawNothing()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 2, 800, 450, 0);
    placeAgent(engine, 3, 1000, 450, -3);
    placeResource(engine, 1, 1200, 450, 0);
    placeAgent(engine, 7, 400, 600, 20);
    const QImage image = paintArena(engine);
    QVERIFY(find(image, QRect(700, 350, 600, 200), [](QRgb c) { return !isWhite(c); }).empty());
    // The living agent 7 keeps its own label "[8]" in (360, 560, 24, 24).
    const Box label = find(image, QRect(350, 550, 37, 35), isDark);
    QVERIFY(!label.empty() && label.left >= 360 && label.right < 384 && label.top >= 560);
}

void TestArenaPainter::resourcesAreSolidBlackOverAgents()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 3, 1000, 500, 40);
    placeResource(engine, 0, 1020, 515, 6);
    placeResource(engine, 4, 600, 200, 10);
    const QImage image = paintArena(engine);
    QCOMPARE(image.pixel(1020, 515), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(1023, 515), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(600, 200), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(607, 200), qRgb(0, 0, 0));
    QVERIFY(isWhite(image.pixel(612, 200)));
}

void TestArenaPainter::agentColourBlendsOnlyNearTopLeft()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 6, 40, 40, 30);
    const QImage image = paintArena(engine);
    const QRgb plain = qRgb(60, 60, 240);
    QCOMPARE(image.pixel(55, 45), plain);     // 30x + 40y = 3450
    QCOMPARE(image.pixel(60, 58), plain);     // 4120
    const QRgb blended = image.pixel(25, 40); // 2350: between white and the colour
    QVERIFY(qRed(blended) > 70 && qRed(blended) < 250);
    QVERIFY(qBlue(blended) >= 240);
    const QRgb lighter = image.pixel(22, 25); // 1660: whiter still
    QVERIFY(qRed(lighter) > qRed(blended));
}

QTEST_MAIN(TestArenaPainter)
#include "test_arena_painter.moc"
