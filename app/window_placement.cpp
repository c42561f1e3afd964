#include "app/window_placement.h"

#include <cstdint>

QPoint centredPosition(const QSize &screen, const QSize &window)
{
    const int64_t x = (int64_t(screen.width()) - 1) / 2 - (int64_t(window.width()) - 1) / 2;
    const int64_t y = (int64_t(screen.height()) - 1) / 2 - (int64_t(window.height()) - 1) / 2;
    return QPoint(int(x), int(y));
}
