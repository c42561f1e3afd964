#ifndef TICK_H
#define TICK_H

// Every clock of the game (actions, steps, repaints) ticks at this period.
constexpr int tickIntervalMs = 50;

#endif
