#include "replay/recorder.h"

#include <algorithm>

ReplayRecorder::ReplayRecorder(Ball_engine &engine, bool listen, FrameWriter *writer)
    : engine(engine), listening(listen), writer(writer)
{
    if (listening)
        engine.setRadiusListener(&ReplayRecorder::changed, this);
}

ReplayRecorder::~ReplayRecorder()
{
    if (listening)
        engine.setRadiusListener(nullptr, nullptr);
}

void ReplayRecorder::changed(void *recorder, const RadiusChange &change)
{
    static_cast<ReplayRecorder *>(recorder)->pending.push_back(change);
}

void ReplayRecorder::observe(void *recorder, int step)
{
    static_cast<ReplayRecorder *>(recorder)->capture(step - 1);
}

void ReplayRecorder::finish(const GameResult &result)
{
    capture(result.steps);
}

void ReplayRecorder::capture(int step)
{
    ReplayFrame &f = frame;
    f.step = step;
    std::copy_n(engine.getCircleRadius(), replayCircles, f.radius.begin());
    std::copy_n(engine.getXCoordinate(), replayCircles, f.x.begin());
    std::copy_n(engine.getYCoordinate(), replayCircles, f.y.begin());
    std::copy_n(engine.getXVelocity(), replayAgents, f.vx.begin());
    std::copy_n(engine.getYVelocity(), replayAgents, f.vy.begin());
    // The actions this step was played with are still the engine's: the
    // next ones are chosen after this call.
    std::copy_n(engine.getActions(), replayAgents, f.action.begin());
    f.changes.swap(pending);
    pending.clear();
    if (writer)
        writer->add(f);
    else
        frames.push_back(f);
}
