#include "game_row.h"

#include <algorithm>

void CallTiming::add(const CallTiming &other)
{
    calls += other.calls;
    totalNs += other.totalNs;
    worstNs = std::max(worstNs, other.worstNs);
}

const char *gameEndName(const GameRow &row)
{
    switch (row.failure) {
    case FailureKind::None: return gameOutcomeName(row.outcome);
    case FailureKind::Crashed: return "crashed";
    case FailureKind::TimeLimit: return "time-limit";
    case FailureKind::Exited: return "exited";
    case FailureKind::Refused: return "refused";
    case FailureKind::Lost: return "lost";
    }
    return "unknown";
}
