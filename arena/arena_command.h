// The command line of pelloria-arena, and running what it asks for.
#ifndef ARENA_COMMAND_H
#define ARENA_COMMAND_H

#include "arena/runner.h"
#include "common/exit_codes.h"

#include <QStringList>

struct ArenaCommand {
    ArenaSettings settings;
    QStringList controllers; // paths; empty means the brainlet beside the program
    QString baseline;        // a path among `controllers`; empty means the first
    QString csvPath;
    QString jsonPath;
    QString logDir;          // empty means a new folder in the system's temp folder
    QStringList mergeInputs; // 'merge A.json B.json ...': join shards instead of playing
    bool match = false;      // 'match': the controllers play each other
    bool progress = false;
};

// Parses the arguments (program name first). Prints help or version and
// exits itself for --help and --version.
bool parseArenaCommand(const QStringList &arguments, ArenaCommand &command, QString &error);

// Which of the controllers is the baseline; -1 when --baseline names none.
int baselineIndex(const ArenaCommand &command);

int runArenaCommand(const ArenaCommand &command, const QString &programDir);

#endif
