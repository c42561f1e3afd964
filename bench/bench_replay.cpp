// Seeking in the replay viewer: any step of a 3,000-step replay shown and
// painted, as a click on the timeline does. And writing a game's frames, as
// every recorded game of the arena does.
#include "app/replay_view.h"
#include "app/replay_window.h"
#include "engine/game_rules.h"
#include "replay/recorder.h"
#include "replay/replay.h"

#include <QKeyEvent>
#include <QTest>

#include <benchmark/benchmark.h>

#include <random>

namespace {

void standStill(int &action, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                const int *, const int *)
{
    action = 0;
}

// A game of exactly 3,000 steps: games long enough are stretched by
// repeating their frames, which costs a seek the same.
Replay longReplay()
{
    Replay replay = recordFairGame(&standStill, 1, 3000, ReplayHeader());
    const size_t played = replay.frames.size();
    while (replay.frames.size() < 3001) {
        ReplayFrame f = replay.frames[replay.frames.size() % played];
        f.step = int(replay.frames.size());
        replay.frames.push_back(f);
    }
    replay.header.steps = 3000;
    return replay;
}

// With the overlay (ring, deaths and trail) and the panel of agents on:
// the whole window painted, as on screen.
void BM_SeekAnyStep(benchmark::State &state)
{
    ReplayWindow window(longReplay());
    window.resize(1600, 900);
    window.show();
    QTest::keyClick(&window, Qt::Key_T); // the trail, off by default
    std::mt19937 random(1);
    std::uniform_int_distribution<int> anyStep(0, window.lastStep());
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        window.seek(anyStep(random));
        benchmark::DoNotOptimize(window.grab());
    }
    benchmark::DoNotOptimize(window.step());
}
BENCHMARK(BM_SeekAnyStep)->Unit(benchmark::kMillisecond);

// A game's frames written in the file's form, one after another as the game
// plays them: `ns_per_frame` is the figure to set beside a step's cost.
void BM_WriteFrames(benchmark::State &state)
{
    const Replay replay = recordFairGame(&standStill, 1, 3000, ReplayHeader());
    size_t bytes = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        FrameWriter frames;
        for (const ReplayFrame &f : replay.frames)
            frames.add(f);
        bytes = frames.size();
        benchmark::DoNotOptimize(frames.data());
    }
    state.counters["ns_per_frame"] = benchmark::Counter(double(state.iterations() * replay.frames.size()),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_frame"] = double(bytes) / double(replay.frames.size());
}
BENCHMARK(BM_WriteFrames)->Unit(benchmark::kMicrosecond);

} // namespace
