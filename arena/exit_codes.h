// How pelloria-arena ends.
#ifndef ARENA_EXIT_CODES_H
#define ARENA_EXIT_CODES_H

// Every game was played to its end; some game failed (a crash, a call over
// the time limit, the controller ending its process: the rest still come
// out); the command line, a controller file or an output file was unusable,
// and nothing was played or written.
enum ArenaExit { ArenaOk = 0, ArenaControllerFailed = 1, ArenaUsageError = 2 };

#endif
