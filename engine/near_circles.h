// Which circles of a game of the rules' size may take part in the contests
// and meals of a step: a coarse, conservative test in front of the exact
// one, so that the step works through only the few circles near an agent.
#ifndef NEAR_CIRCLES_H
#define NEAR_CIRCLES_H

#include "engine/game_rules.h"

#include <cstdint>
#include <vector>

namespace nearCircles {

// Agents at 0 .. agentsPerGame - 1, resources after them: one bit each.
static_assert(rules::circlesPerGame <= 16, "the circles' bits and lanes fit in 16");
constexpr uint32_t agentBits = (1u << rules::agentsPerGame) - 1;

// Bit c is set for every circle c whose box (its centre +- its radius +
// `margin`) overlaps the box of an agent other than itself. A circle of
// radius <= 0 overlaps nothing. Two circles whose boxes do not overlap are
// at least 2 * margin apart on some axis beyond their radii.
//
// Eight circles at a time where the processor has vectors; the answer may
// then include circles the exact test leaves out (every circle, when a box
// reaches beyond the 16-bit range the vectors hold), never fewer.
uint32_t nearAgents(const int *x, const int *y, const int *r, int margin);

// The same test a pair at a time, exact: what nearAgents answers on every
// arena whose boxes stay within 16 bits.
uint32_t nearAgentsPairByPair(const int *x, const int *y, const int *r, int margin);

// Each way this build has of answering nearAgents that this processor
// runs, pair by pair first and the one nearAgents takes last.
struct Way {
    const char *name;
    uint32_t (*answer)(const int *x, const int *y, const int *r, int margin);
};
std::vector<Way> waysHere();

} // namespace nearCircles

#endif
