// `pelloria` with options: watch a replay, play one seed as the arena does,
// or turn a game into pictures. Without any of these options the program is
// the game, and all its arguments go to Qt as always.
#ifndef VIEWER_COMMAND_H
#define VIEWER_COMMAND_H

#include "replay/replay.h"

#include <QString>

// Whether the arguments ask for the viewer rather than the game.
bool asksForViewer(int argc, char **argv);

// Runs the viewer: exit 0, 1 when an export's game failed (what could be
// written is), or 2 with one line on stderr for a bad argument, an
// unreadable replay or a controller that cannot be loaded.
int runViewer(int argc, char **argv);

#endif
