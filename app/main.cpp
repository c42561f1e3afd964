#include "app/mainwindow.h"
#include "app/viewer_command.h"
#include "app/window_placement.h"
#include "brainlet/brainlet.h"
#include "common/exit_codes.h"
#include "plugin/controller_symbols.h"
#include "views/offscreen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#if defined(__GNUC__) && defined(__ELF__)
#  pragma weak controller
#  include <link.h>
#  define PELLORIA_WEAK_CONTROLLER 1
#endif

namespace {

#ifdef PELLORIA_WEAK_CONTROLLER
// The brainlet the loader found, by its path.
QString loadedBrainlet()
{
    QString path;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *found) {
            const char *name = info->dlpi_name;
            if (name && std::strstr(name, "brainlet")) {
                *static_cast<QString *>(found) = QString::fromLocal8Bit(name);
                return 1;
            }
            return 0;
        },
        &path);
    return path.isEmpty() ? QStringLiteral("libbrainlet.so") : path;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
#ifdef PELLORIA_WEAK_CONTROLLER
    if (&controller == nullptr) {
        std::fprintf(stderr, "pelloria: %s\n", missingControllerMessage(loadedBrainlet()).toLocal8Bit().constData());
        return ExitUnusable;
    }
#endif
    // With options of its own the program watches games; without, it is the
    // game, exactly.
    if (asksForViewer(argc, argv))
        return runViewer(argc, argv);
    std::srand(static_cast<unsigned int>(std::time(nullptr)));
    if (!displayAvailable(argc, argv)) {
        std::fprintf(stderr,
                     "pelloria: no display to open the window on; start it from a desktop session "
                     "or under a virtual display such as xvfb-run.\n");
        return ExitSomeFailed;
    }
    QApplication app(argc, argv);

    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "pelloria: the display reports no screen.\n");
        return ExitSomeFailed;
    }
    const QRect screenGeometry = screen->geometry();

    MainWindow window(nullptr, static_cast<size_t>(screenGeometry.width()));
    window.move(centredPosition(screenGeometry.size(), window.size()));
    window.show();
    return app.exec();
}
