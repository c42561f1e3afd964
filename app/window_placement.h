// How the window is sized from the screen and placed on it.
#ifndef WINDOW_PLACEMENT_H
#define WINDOW_PLACEMENT_H

#include <QPoint>
#include <QSize>

#include "engine/game_rules.h"

#include <cstddef>

// Sixteenth of the screen width, capped; the screen height plays no part.
constexpr int arenaScaleFor(size_t screenWidth)
{
    const size_t scale = screenWidth / rules::arenaWidthUnits;
    return scale > size_t(rules::maxArenaScale) ? rules::maxArenaScale : static_cast<int>(scale);
}

// Puts the window's centre on the screen's centre, halving each side's last
// pixel index in 64-bit arithmetic (truncating towards zero).
QPoint centredPosition(const QSize &screen, const QSize &window);

#endif
