// How Pelloria's programs end: the one list of the statuses that the game
// (pelloria), pelloria-arena, its launcher (pelloria-arena-host) and the
// games' processes exit with, so that a script, or the arena reading a
// process it started, can tell them apart by name.
//
//   0    ExitOk           Done as asked: for pelloria-arena, every game was
//                         played to its end.
//   1    ExitSomeFailed   Done, but not all of it went well: for
//                         pelloria-arena, some game failed (a crash, a call
//                         over the time limit, the controller ending its
//                         process), and the rest still came out; for the
//                         game, there was no display or screen to open on.
//   2    ExitUnusable     Nothing was done: the command line, a controller
//                         file or an output file was unusable, or the
//                         program was started other than as it must be (the
//                         launcher by hand, or without what it needs).
//   125  ExitUnconfined   A game's process could not be made ready (confined,
//                         its output captured) and ended before playing:
//                         the arena counts the game as not started, and
//                         when spare processes keep ending so, says that
//                         games cannot be confined here.
//   127  ExitNotStarted   A forked process could not start the program it
//                         was forked for, as a shell says "not found".
//   159  ExitRefused      The sandbox refused a system call and ended the
//                         game's process, with the call's number in its
//                         channel: 128 + 31, as a shell says "killed by
//                         SIGSYS", since that is in effect what happened.
#ifndef PELLORIA_EXIT_CODES_H
#define PELLORIA_EXIT_CODES_H

enum ExitCode : int {
    ExitOk = 0,
    ExitSomeFailed = 1,
    ExitUnusable = 2,
    ExitUnconfined = 125,
    ExitNotStarted = 127,
    ExitRefused = 128 + 31,
};

#endif
