// Puts each controller's rows back into seed order, whatever order the
// games finish in, and stops a controller after its allowed failures.
#ifndef ARENA_JUDGE_ROW_ORDER_H
#define ARENA_JUDGE_ROW_ORDER_H

#include "arena/runner.h"

#include <climits>
#include <map>
#include <vector>

class RowOrder
{
public:
    RowOrder(int controllers, int maxFailures, RunListener &listener)
        : streams(size_t(controllers)), maxFailures(maxFailures), listener(listener)
    {
    }

    void deliver(int c, int index, const GameRow &row)
    {
        Stream &s = streams[size_t(c)];
        if (index >= s.stopIndex)
            return; // played side by side with the game that stopped it
        s.waiting.emplace(index, row);
        for (auto it = s.waiting.find(s.next); it != s.waiting.end(); it = s.waiting.find(s.next)) {
            const GameRow ready = it->second;
            s.waiting.erase(it);
            listener.gameRow(c, s.next, ready);
            ++delivered;
            if (ready.failed() && ++s.failures == maxFailures) {
                s.stopIndex = s.next + 1;
                s.waiting.clear();
                listener.stopped(c, s.next);
                return;
            }
            ++s.next;
        }
    }

    bool stopped(int c) const { return streams[size_t(c)].stopIndex != INT_MAX; }
    long long delivered = 0;

private:
    struct Stream {
        int next = 0;
        int failures = 0;
        int stopIndex = INT_MAX;
        std::map<int, GameRow> waiting;
    };
    std::vector<Stream> streams;
    int maxFailures;
    RunListener &listener;
};

// Every seed of the run in turn, each controller that is not stopped in
// turn within a seed, as the games that play one at a time take them:
// `play(c, seed)` gives the row.
template <typename Play>
void playInTurn(const ArenaSettings &settings, int controllers, RowOrder &order, Play play)
{
    const SeedRange range = settings.played();
    for (int g = 0; g < range.games; ++g)
        for (int c = 0; c < controllers; ++c)
            if (!order.stopped(c))
                order.deliver(c, g, play(c, range.first + unsigned(g)));
}

#endif
