// Recording a game as it is played, and playing a seeded game under the
// arena's rules (the controller on a generator of its own) to record it.
#ifndef REPLAY_RECORDER_H
#define REPLAY_RECORDER_H

#include "engine/game.h"
#include "replay/replay_frames.h"

// Attached to an engine for one game: hand `observe` and `this` to
// playSeededGame, then call finish() with its result.
class ReplayRecorder
{
public:
    // `listen`: take the engine's radius listener; false when the caller
    // keeps it and hands the changes on through changed(). `writer`: write
    // each frame there as it comes instead of keeping them all in `frames`.
    explicit ReplayRecorder(Ball_engine &engine, bool listen = true, FrameWriter *writer = nullptr);
    ~ReplayRecorder();
    ReplayRecorder(const ReplayRecorder &) = delete;
    ReplayRecorder &operator=(const ReplayRecorder &) = delete;

    // playSeededGame's observer: before step n, the state after step n - 1.
    static void observe(void *recorder, int step);
    static void changed(void *recorder, const RadiusChange &change);
    // The last frame; the recorder holds them all afterwards.
    void finish(const GameResult &result);

    std::vector<ReplayFrame> frames;

private:
    void capture(int step);

    Ball_engine &engine;
    bool listening;
    FrameWriter *writer;
    ReplayFrame frame; // the one being captured
    std::vector<RadiusChange> pending;
};

#endif
