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

inline void prepareOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDir();
}

#endif
