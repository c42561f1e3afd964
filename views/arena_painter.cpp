#include "views/arena_painter.h"

#include "engine/ball_engine.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

namespace {

// The gradient is fixed in widget coordinates, so only circles near the
// arena's top-left corner show the white blend.
const QPointF gradientStart(50, -20);
const QPointF gradientStop(80, 20);
constexpr qreal numberBoxSize = 24;
constexpr int creditMargin = 10;
constexpr int pointerPenWidth = 3;
constexpr qreal labelOffsetFactor = 0.8;

QRectF circleBox(int x, int y, int r)
{
    return QRectF(x - r, y - r, 2 * r, 2 * r);
}

} // namespace

ArenaPainter::ArenaPainter() = default;

ArenaPainter::~ArenaPainter()
{
    delete[] agentBrushes;
}

const char *ArenaPainter::creditText()
{
    return "Pelloria: ten circles, one arena, and a brainlet at the helm of [1]";
}

void ArenaPainter::setup(uint32_t numAgents, const Ball_engine &engine)
{
    agentCount = numAgents;
    arenaHeight = engine.height;

    QLinearGradient gradient(gradientStart, gradientStop);
    gradient.setColorAt(0, QColor(255, 255, 255));

    background = QBrush(QColor(255, 255, 255), Qt::SolidPattern);
    circlePen = QPen(QColor(0, 0, 0));
    circlePen.setWidth(1);

    delete[] agentBrushes;
    agentBrushes = new QBrush[agentCount];
    for (uint32_t i = 0; i < agentCount; ++i) {
        gradient.setColorAt(1, engine.getColors()[i]);
        agentBrushes[i] = QBrush(gradient);
    }
}

void ArenaPainter::paint(QPainter *painter, QPaintEvent *event, const Ball_engine &engine)
{
    const int *x = engine.getXCoordinate();
    const int *y = engine.getYCoordinate();
    const int *r = engine.getCircleRadius();
    const int *ax = engine.xAcceleration;
    const int *ay = engine.yAcceleration;
    const uint32_t n = agentCount;

    painter->fillRect(event->rect(), background);

    painter->setPen(circlePen);
    painter->drawText(QPoint(creditMargin, arenaHeight - creditMargin), QString::fromUtf8(creditText()));

    for (uint32_t i = 0; i < n; ++i) {
        if (r[i] <= 0)
            continue;
        painter->setBrush(agentBrushes[i]);
        painter->drawEllipse(circleBox(x[i], y[i], r[i]));
    }

    QLinearGradient resourceGradient(gradientStart, gradientStop);
    resourceGradient.setColorAt(1, QColor(0, 0, 0));
    painter->setBrush(QBrush(resourceGradient));
    for (size_t i = n; i < n + engine.getNumResources(); ++i) {
        if (r[i] <= 0)
            continue;
        painter->drawEllipse(circleBox(x[i], y[i], r[i]));
    }

    QPen pen(QColor(255, 255, 255, 255));
    pen.setWidth(pointerPenWidth);
    painter->setPen(pen);
    for (uint32_t i = 0; i < n; ++i) {
        if (r[i] <= 0)
            continue;
        const int h = r[i] / 2;
        const int e = r[i] / 8;
        const QPoint tip(x[i] + ax[i] * h, y[i] + ay[i] * h);
        painter->drawLine(QPoint(x[i], y[i]), tip);
        painter->drawEllipse(QRectF(tip.x() - e, tip.y() - e, 2 * e, 2 * e));
        painter->drawText(QRectF(x[i] + r[i], y[i] + r[i], numberBoxSize, numberBoxSize), Qt::AlignCenter,
                          QString::number(r[i]));
    }

    pen.setColor(QColor(0, 0, 0, 255));
    painter->setPen(pen);
    for (uint32_t i = 0; i < n; ++i) {
        if (r[i] <= 0)
            continue;
        const double d = labelOffsetFactor * r[i];
        painter->drawText(QRectF(x[i] - d - numberBoxSize, y[i] - d - numberBoxSize, numberBoxSize, numberBoxSize),
                          Qt::AlignCenter, QStringLiteral("[%1]").arg(i + 1));
        painter->drawText(QRectF(x[i] + d, y[i] + d, numberBoxSize, numberBoxSize), Qt::AlignCenter,
                          QString::number(r[i]));
    }
}
