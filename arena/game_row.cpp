#include "arena/game_row.h"

#include <algorithm>

void CallTiming::add(const CallTiming &other)
{
    calls += other.calls;
    totalNs += other.totalNs;
    worstNs = std::max(worstNs, other.worstNs);
}

namespace {

constexpr size_t outcomeKinds = 3; // GameOutcome's values

// Every outcome once as a finished game, then every failure up to the last
// once, in the enums' order: so that every row has a name to be written and
// read back by.
constexpr bool everyEndOnceInOrder()
{
    constexpr size_t count = sizeof gameEnds / sizeof gameEnds[0];
    if (count != outcomeKinds + size_t(FailureKind::BadChannel))
        return false;
    for (size_t i = 0; i < count; ++i) {
        const GameEnd &end = gameEnds[i];
        const bool right = i < outcomeKinds
            ? end.failure == FailureKind::None && end.outcome == GameOutcome(i)
            : end.failure == FailureKind(i - outcomeKinds + 1) && end.outcome == GameOutcome::StepLimit;
        if (!right)
            return false;
    }
    return true;
}
static_assert(everyEndOnceInOrder(), "gameEnds must list each outcome and each failure once, in order");

} // namespace

const GameEnd *gameEndOf(const GameRow &row)
{
    for (const GameEnd &end : gameEnds)
        if (end.failure == row.failure && (row.failed() || end.outcome == row.outcome))
            return &end;
    return nullptr;
}

const char *gameEndName(const GameRow &row)
{
    const GameEnd *end = gameEndOf(row);
    return end ? end->name : "unknown";
}

bool parseGameEnd(std::string_view name, GameRow &row)
{
    for (const GameEnd &end : gameEnds) {
        if (name == end.name) {
            row.outcome = end.outcome;
            row.failure = end.failure;
            return true;
        }
    }
    return false;
}
