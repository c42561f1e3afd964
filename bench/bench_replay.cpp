// Seeking in the replay viewer: any step of a 3,000-step replay shown and
// painted, as a click on the timeline does.
#include "game_rules.h"
#include "recorder.h"
#include "replay_window.h"
#include "widget.h"


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

void BM_SeekAnyStep(benchmark::State &state)
{
    ReplayWindow window(longReplay());
    window.show();
    std::mt19937 random(1);
    std::uniform_int_distribution<int> anyStep(0, window.lastStep());
    Widget *view = window.findChild<Widget *>();
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        window.seek(anyStep(random));
        benchmark::DoNotOptimize(view->grab()); // the frame painted, as on screen
    }
    benchmark::DoNotOptimize(window.step());
}
BENCHMARK(BM_SeekAnyStep)->Unit(benchmark::kMillisecond);

} // namespace
