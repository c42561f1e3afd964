// The arena's end of one controller's launcher: starting it, and what it
// says, each word awaited no longer than a deadline.
#ifndef ARENA_JUDGE_LAUNCHER_LINK_H
#define ARENA_JUDGE_LAUNCHER_LINK_H

#include "arena/games/launch.h"
#include "arena/judge/process_watch.h"
#include "arena/runner.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

class LauncherLink
{
public:
    LauncherLink() = default;
    ~LauncherLink();
    LauncherLink(const LauncherLink &) = delete;
    LauncherLink &operator=(const LauncherLink &) = delete;

    // Starts the launcher of `entry` and waits until it is ready; its notes
    // (what could not be confined) are added to `notes`.
    bool start(const ControllerSpec &entry, const ArenaSettings &settings, QStringList &notes, QString &error);

    // Hands it a game: the ticket, the channel's memory, and the write end
    // of a pipe for its output, whose read end (not blocking) goes to
    // `output`. The arena keeps neither descriptor it handed over.
    bool startGame(uint64_t ticket, ChannelMemory &channel, int &output);
    void kill(uint64_t ticket);

    // The next word, if one is waiting: 1, 0 at the launcher's end, -1 for
    // none yet.
    int next(launch::Event &event);

    int fd() const { return control; }
    bool gone = false;

private:
    bool awaitReady(QStringList &notes, QString &error);
    void stop();

    pid_t pid = -1;
    int control = -1;
};

#endif
