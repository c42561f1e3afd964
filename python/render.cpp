// A frame of a game, painted by the game's own ArenaPainter, as an RGB array.
#include "python/bindings.h"
#include "views/arena_painter.h"
#include "views/offscreen.h"

#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <cstring>

namespace {

// Text needs a QGuiApplication; a script has none, so one is made the first
// time a frame is asked for, on the offscreen platform unless told otherwise.
void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    prepareOffscreen();
    static int argc = 1;
    static char name[] = "pelloria";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    (void)app;
}

} // namespace

py::array_t<uint8_t> renderFrame(const GameCore &game)
{
    ensureGuiApplication();
    const Ball_engine &engine = game.ballEngine();
    ArenaPainter painter;
    painter.setup(uint32_t(engine.getNumAgents()), engine);
    QImage image(engine.width, engine.height, QImage::Format_RGB888);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPaintEvent event(image.rect());
        painter.paint(&p, &event, engine);
    }
    py::array_t<uint8_t> frame({engine.height, engine.width, 3});
    uint8_t *out = frame.mutable_data();
    for (int row = 0; row < engine.height; ++row)
        std::memcpy(out + size_t(row) * size_t(engine.width) * 3, image.constScanLine(row), size_t(engine.width) * 3);
    return frame;
}
