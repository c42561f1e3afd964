// The command line of pelloria-arena, and running what it asks for.
#ifndef ARENA_COMMAND_H
#define ARENA_COMMAND_H

#include "runner.h"

#include <QStringList>

struct ArenaCommand {
    ArenaSettings settings;
    QStringList controllers; // paths; empty means the brainlet beside the program
    QString csvPath;
    QString jsonPath;
    bool progress = false;
};

// Exit codes: every controller played all its games; some controller crashed
// or went over the time limit (the others' results still come out); the
// command line, a controller file or an output file was unusable.
enum ArenaExit { ArenaOk = 0, ArenaControllerFailed = 1, ArenaUsageError = 2 };

// Parses the arguments (program name first). Prints help or version and
// exits itself for --help and --version.
bool parseArenaCommand(const QStringList &arguments, ArenaCommand &command, QString &error);

int runArenaCommand(const ArenaCommand &command, const QString &programDir);

#endif
