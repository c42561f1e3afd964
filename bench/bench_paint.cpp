// Cost of painting one full arena frame, as the view does every 50 ms.
#include "engine/ball_engine.h"
#include "views/arena_painter.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

void BM_PaintFullArena(benchmark::State &state)
{
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.resetSeeded(1);
    for (size_t i = 0; i < rules::agentsPerGame; ++i)
        engine.xAcceleration[i] = engine.yAcceleration[i] = 1;
    ArenaPainter arenaPainter;
    arenaPainter.setup(rules::agentsPerGame, engine);
    QImage image(rules::maxArenaWidth, rules::maxArenaHeight, QImage::Format_ARGB32_Premultiplied);
    QPaintEvent event(image.rect());
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        arenaPainter.paint(&painter, &event, engine);
        painter.end();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PaintFullArena)->Unit(benchmark::kMicrosecond);

} // namespace
