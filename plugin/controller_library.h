// Loading a controller plug-in from a file, by path.
#ifndef CONTROLLER_LIBRARY_H
#define CONTROLLER_LIBRARY_H

#include "engine/ball_engine.h"

#include <QString>

struct LoadedController {
    QString label;                         // as the user named it
    ControllerFunction function = nullptr; // null when loading failed
    QString error;                         // one line, when loading failed
};

// Loads the library and resolves `controller`; the library stays loaded for
// the rest of the process.
LoadedController loadController(const QString &path, const QString &label);

// The words for a library that cannot be had, the same wherever it is
// loaded (here, or by the arena's game host).
QString noSuchFileMessage(const QString &path);
QString cannotLoadMessage(const QString &path, const QString &why);

// The brainlet that sits beside the program.
QString defaultControllerPath(const QString &programDir);

#endif
