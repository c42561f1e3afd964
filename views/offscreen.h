// Painting without a screen: the offscreen platform, and a runtime folder
// for Qt, which asks for one and warns on every start without it.
#ifndef OFFSCREEN_H
#define OFFSCREEN_H

#include <QByteArray>
#include <QDir>
#include <QtGlobal>

#include <unistd.h>

inline void ensureRuntimeDir()
{
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir(QDir::tempPath()).filePath(QStringLiteral("pelloria-runtime-%1").arg(::getuid()));
        if (QDir().mkpath(dir) && QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    }
}

// Whether Qt has a display to open windows on: without one it aborts with a
// platform-plugin error, and the programs say plainly what is missing
// instead. The game's and the viewer's check, and scripts/play.sh's.
inline bool displayAvailable(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "-platform")
            return true;
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return false;
#else
    (void)argc;
    (void)argv;
    return true;
#endif
}

inline void prepareOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDir();
}

#endif
