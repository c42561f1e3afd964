#include "mainwindow.h"
#include "window_placement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Without a display Qt aborts with a platform-plugin error; say plainly what
// is missing instead.
bool displayAvailable(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    const char *variables[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (const char *name : variables) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
#else
    (void)argc;
    (void)argv;
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    std::srand(static_cast<unsigned int>(std::time(nullptr)));
    if (!displayAvailable(argc, argv)) {
        std::fprintf(stderr, "pelloria: no display to open the window on; start it from a desktop session "
                             "or under a virtual display such as xvfb-run.\n");
        return 1;
    }
    QApplication app(argc, argv);

    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "pelloria: the display reports no screen.\n");
        return 1;
    }
    const QRect screenGeometry = screen->geometry();

    MainWindow window(nullptr, static_cast<size_t>(screenGeometry.width()));
    window.move(centredPosition(screenGeometry.size(), window.size()));
    window.show();
    return app.exec();
}
