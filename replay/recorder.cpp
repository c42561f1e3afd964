#include "recorder.h"

#include "game_rules.h"
#include "separate_generators.h"

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

namespace {
SeparateGenerators *fairGenerators = nullptr;
ControllerFunction fairController = nullptr;

void onItsOwnGenerator(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                       const int *circleRadius, const int *xCoordinate, const int *yCoordinate, const int *xVelocity,
                       const int *yVelocity)
{
    fairGenerators->enterController();
    fairController(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity,
                   yVelocity);
    fairGenerators->leaveController();
}
} // namespace

Replay recordFairGame(ControllerFunction controller, uint32_t seed, int maxSteps, ReplayHeader header)
{
    static SeparateGenerators generators;
    fairGenerators = &generators;
    fairController = controller;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&onItsOwnGenerator);
    generators.enterGame();
    generators.startGame(seed, engine);
    Replay replay;
    GameResult result;
    {
        ReplayRecorder recorder(engine);
        result = playSeededGame(engine, seed, maxSteps, &ReplayRecorder::observe, &recorder);
        recorder.finish(result);
        replay.frames = std::move(recorder.frames);
    }
    generators.leaveGame();
    header.seed = seed;
    header.maxSteps = maxSteps;
    header.steps = result.steps;
    header.outcome = QString::fromLatin1(gameOutcomeName(result.outcome));
    replay.header = header;
    return replay;
}
