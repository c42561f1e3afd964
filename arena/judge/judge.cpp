#include "arena/judge/judge.h"

#include "arena/channel/game_channel.h"
#include "replay/recorder.h"
#include "replay/replay_frames.h"

#include <algorithm>

GameRow describeGame(const Ball_engine &engine, uint32_t seed, const GameResult &result)
{
    GameRow row;
    row.seed = seed;
    row.outcome = result.outcome;
    row.steps = result.steps;
    const int *r = engine.getCircleRadius();
    row.agent0Radius = std::max(0, r[0]);
    row.agent0Rank = finalRank(r, engine.getNumAgents(), 0);
    for (size_t i = 1; i < engine.getNumAgents(); ++i)
        row.opponentsAlive += r[i] > 0 ? 1 : 0;
    return row;
}

namespace {
// One judge plays at a time in a process: the engine's controller is a plain
// function, so it finds the judge's actions here.
const uint8_t *playingActions = nullptr;
size_t *playingNext = nullptr;
} // namespace

Judge::Judge()
{
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.drawFrom(&stream);
    engine.setController(&Judge::nextAction);
    agent0.engine = &engine;
    agent0.step = &next;
    engine.setRadiusListener(&RadiusFacts::changed, &agent0);
}

void Judge::nextAction(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *,
                       const int *)
{
    const uint8_t byte = playingActions[(*playingNext)++];
    // Out of range plays as no acceleration; the replay keeps it as 9.
    action = byte;
}

void RadiusFacts::changed(void *context, const RadiusChange &change)
{
    RadiusFacts &a = *static_cast<RadiusFacts *>(context);
    if (change.agent < 0 || size_t(change.agent) >= a.deaths.size())
        return;
    AgentDeath &death = a.deaths[size_t(change.agent)];
    if (death.step == 0 && a.engine->getCircleRadius()[change.agent] <= 0)
        death = AgentDeath{int32_t(*a.step), int32_t(change.cause), change.other};
    if (change.agent != 0)
        return;
    GameRow &f = a.facts;
    if (change.cause == RadiusChange::Wall)
        f.wallLoss -= change.delta;
    else if (change.cause == RadiusChange::Contest && change.delta < 0)
        f.contestLoss -= change.delta;
    if (a.recorder)
        ReplayRecorder::changed(a.recorder, change);
}

void RadiusFacts::reset()
{
    facts = GameRow();
    deaths = {};
}

void RadiusFacts::into(GameRow &row) const
{
    row.deathStep = deaths[0].step;
    row.deathCause = deaths[0].cause;
    row.deathOther = deaths[0].other;
    row.wallLoss = facts.wallLoss;
    row.contestLoss = facts.contestLoss;
}

GameResult Judge::replay(uint32_t seed, int steps, FrameWriter *frames)
{
    agent0.reset();
    next = 0;
    playingActions = actions;
    playingNext = &next;
    GameResult result;
    if (frames) {
        ReplayRecorder recording(engine, false, frames);
        agent0.recorder = &recording;
        result = playSeededGame(engine, seed, steps, &ReplayRecorder::observe, &recording);
        recording.finish(result);
        agent0.recorder = nullptr;
    } else {
        result = playSeededGame(engine, seed, steps);
    }
    return result;
}

FailureKind Judge::failureOf(const ProcessEnd &end)
{
    switch (end.way) {
    case ProcessEnd::Way::Finished: return FailureKind::BadChannel; // it ended before its game did
    case ProcessEnd::Way::Exited: return FailureKind::Exited;
    case ProcessEnd::Way::Crashed: return FailureKind::Crashed;
    case ProcessEnd::Way::Refused: return FailureKind::Refused;
    case ProcessEnd::Way::OverTime: return FailureKind::TimeLimit;
    case ProcessEnd::Way::Stalled: return FailureKind::Stalled;
    case ProcessEnd::Way::Lost: break;
    }
    return FailureKind::Lost;
}

GameRow Judge::failure(const ProcessEnd &end, int step) const
{
    GameRow row;
    row.steps = step;
    row.failure = failureOf(end);
    row.failureCode = end.way == ProcessEnd::Way::Finished ? 0 : end.code;
    if (end.way == ProcessEnd::Way::Lost)
        row.steps = step - 1; // it never got as far as a call
    return row;
}

GameRow Judge::judge(uint32_t seed, int maxSteps, const uint8_t *sent, size_t count, const ProcessEnd &end,
                     FrameWriter *frames, GameResult *played)
{
    // Only what is an action is played; a byte that is not is where the
    // channel broke.
    const size_t valid = channel::firstNonAction(sent, count);
    actions = sent;
    const int steps = int(std::min(valid, size_t(maxSteps)));
    const GameResult result = replay(seed, steps, frames);
    if (played)
        *played = result;
    const bool over = result.outcome != GameOutcome::StepLimit || result.steps == maxSteps;
    GameRow row;
    if (over && count == size_t(result.steps)) {
        row = describeGame(engine, seed, result);
    } else if (over || valid < count) {
        // More actions than the game had steps, or something else entirely.
        row.failure = FailureKind::BadChannel;
        row.steps = over ? result.steps : int(valid) + 1;
    } else {
        row = failure(end, result.steps + 1);
    }
    row.seed = seed;
    agent0.into(row);
    return row;
}
