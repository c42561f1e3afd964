#include "judge/judge.h"

#include "channel/game_channel.h"
#include "recorder.h"
#include "replay_frames.h"

#include <algorithm>

GameRow describeGame(const Ball_engine &engine, uint32_t seed, const GameResult &result)
{
    GameRow row;
    row.seed = seed;
    row.outcome = result.outcome;
    row.steps = result.steps;
    const int *r = engine.getCircleRadius();
    row.agent0Radius = std::max(0, r[0]);
    row.agent0Rank = 1;
    for (size_t i = 1; i < engine.getNumAgents(); ++i) {
        if (r[i] > row.agent0Radius)
            ++row.agent0Rank;
        if (r[i] > 0)
            ++row.opponentsAlive;
    }
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
    engine.setRadiusListener(&Judge::agent0Changed, this);
}

void Judge::nextAction(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *,
                       const int *)
{
    const uint8_t byte = playingActions[(*playingNext)++];
    // Out of range plays as no acceleration; the replay keeps it as 9.
    action = byte;
}

void Judge::agent0Changed(void *context, const RadiusChange &change)
{
    Judge &judge = *static_cast<Judge *>(context);
    GameRow &f = judge.facts;
    if (change.cause == RadiusChange::Wall)
        f.wallLoss -= change.delta;
    else if (change.cause == RadiusChange::Contest && change.delta < 0)
        f.contestLoss -= change.delta;
    if (f.deathStep == 0 && judge.engine.getCircleRadius()[0] <= 0) {
        f.deathStep = int32_t(judge.next);
        f.deathCause = int32_t(change.cause);
        f.deathOther = change.other;
    }
    if (judge.recorder)
        ReplayRecorder::changed(judge.recorder, change);
}

GameResult Judge::replay(uint32_t seed, int steps, FrameWriter *frames)
{
    facts = GameRow();
    next = 0;
    playingActions = actions;
    playingNext = &next;
    GameResult result;
    if (frames) {
        ReplayRecorder recording(engine, false, frames);
        recorder = &recording;
        result = playSeededGame(engine, seed, steps, &ReplayRecorder::observe, &recording);
        recording.finish(result);
        recorder = nullptr;
    } else {
        result = playSeededGame(engine, seed, steps);
    }
    return result;
}

GameRow Judge::failure(const ProcessEnd &end, int step) const
{
    GameRow row;
    row.steps = step;
    switch (end.way) {
    case ProcessEnd::Way::Finished: row.failure = FailureKind::BadChannel; break; // it ended early
    case ProcessEnd::Way::Exited: row.failure = FailureKind::Exited; break;
    case ProcessEnd::Way::Crashed: row.failure = FailureKind::Crashed; break;
    case ProcessEnd::Way::Refused: row.failure = FailureKind::Refused; break;
    case ProcessEnd::Way::OverTime: row.failure = FailureKind::TimeLimit; break;
    case ProcessEnd::Way::Stalled: row.failure = FailureKind::Stalled; break;
    case ProcessEnd::Way::Lost: row.failure = FailureKind::Lost; break;
    }
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
    row.deathStep = facts.deathStep;
    row.deathCause = facts.deathCause;
    row.deathOther = facts.deathOther;
    row.wallLoss = facts.wallLoss;
    row.contestLoss = facts.contestLoss;
    return row;
}
