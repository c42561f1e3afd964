#include "plugin/controller_library.h"

#include "plugin/controller_symbols.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

LoadedController loadController(const QString &path, const QString &label)
{
    LoadedController loaded;
    loaded.label = label;
    if (!QFileInfo::exists(path)) {
        loaded.error = noSuchFileMessage(path);
        return loaded;
    }
    // Destroying a QLibrary does not unload it: the function stays usable
    // until the process ends.
    QLibrary library(QFileInfo(path).absoluteFilePath());
    // Every symbol bound now, once, rather than lazily in each game's
    // process, which would redo the look-ups for every game.
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library.load()) {
        loaded.error = cannotLoadMessage(path, library.errorString());
        return loaded;
    }
    loaded.function = reinterpret_cast<ControllerFunction>(library.resolve("controller"));
    if (!loaded.function)
        loaded.error = missingControllerMessage(path);
    return loaded;
}

QString noSuchFileMessage(const QString &path)
{
    return QStringLiteral("%1: no such file").arg(path);
}

QString cannotLoadMessage(const QString &path, const QString &why)
{
    return QStringLiteral("%1: cannot load: %2").arg(path, why);
}

QString defaultControllerPath(const QString &programDir)
{
#if defined(Q_OS_WIN)
    const QString name = QStringLiteral("brainlet.dll");
#elif defined(Q_OS_MACOS)
    const QString name = QStringLiteral("libbrainlet.dylib");
#else
    const QString name = QStringLiteral("libbrainlet.so");
#endif
    return QDir(programDir).filePath(name);
}
