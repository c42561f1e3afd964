// How the window is sized from the screen and placed on it.
#ifndef WINDOW_PLACEMENT_H
#define WINDOW_PLACEMENT_H

#include <QPoint>
#include <QSize>

#include <cstddef>

constexpr size_t maxArenaScale = 100; // an arena of at most 1600 x 900

// Sixteenth of the screen width, capped; the screen height plays no part.
constexpr int arenaScaleFor(size_t screenWidth)
{
    return static_cast<int>(screenWidth / 16 > maxArenaScale ? maxArenaScale : screenWidth / 16);
}

// Puts the window's centre on the screen's centre, halving each side's last
// pixel index in 64-bit arithmetic (truncating towards zero).
QPoint centredPosition(const QSize &screen, const QSize &window);

#endif
