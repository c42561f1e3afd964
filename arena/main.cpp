// pelloria-arena: evaluate controllers over many reproducible games.
#include "arena/arena_command.h"
#include "common/version.h"

#include <QCoreApplication>

#include <cstdio>

#if defined(Q_OS_UNIX)
#  include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelloria-arena"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELLORIA_VERSION));

    // Tells a plug-in that it plays in the arena, where a failure should end
    // the game rather than be lived with (the Python brainlet reads it).
    qputenv("PELLORIA_ARENA", "1");

    ArenaCommand command;
    QString error;
    if (!parseArenaCommand(QCoreApplication::arguments(), command, error)) {
        std::fprintf(stderr, "pelloria-arena: %s (see --help)\n", error.toLocal8Bit().constData());
        return ExitUnusable;
    }
#if defined(Q_OS_UNIX)
    command.progress = ::isatty(STDERR_FILENO) != 0;
#endif
    return runArenaCommand(command, QCoreApplication::applicationDirPath());
}
