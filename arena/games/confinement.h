// Confining a controller's games beyond the system-call filter (see
// sandbox.h): namespaces of their own, an unprivileged user, and Landlock
// rules that let them read only the library's folder, the system's
// libraries and the folders the run names. Each step is taken where the
// kernel allows it; what it does not is said once, in the report.
#ifndef ARENA_GAMES_CONFINEMENT_H
#define ARENA_GAMES_CONFINEMENT_H

#include <string>
#include <vector>

namespace confinement {

// In the launcher, once, before it forks anything: as root, become nobody
// (where nobody can read every path `needed`: the library and its data);
// then user, PID, network and IPC namespaces of its own, which every game
// inherits. Returns what could not be done, or an empty text.
std::string isolateLauncher(const std::vector<std::string> &needed);

// The folders a game of `libraryPath` may read: the library's own, the
// system's libraries and the loader's cache, and `extra`.
std::vector<std::string> readableFolders(const std::string &libraryPath, const std::vector<std::string> &extra);

// A Landlock rule set that allows reading `paths` and nothing else on the
// file system (no writes anywhere, no network where the kernel can say so,
// no signals out of the games). -1, with `why`, where there is none.
int readOnlyRules(const std::vector<std::string> &paths, std::string &why);

// In a game's process: the rule set for good, and no capabilities left.
bool restrict(int rulesFd);
bool dropCapabilities();

} // namespace confinement

#endif
