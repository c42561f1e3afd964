// A controller's log, written by the arena from what its games print: whole
// lines only, so that games played side by side never interleave within a
// line, and no more than its cap, past which lines are counted and dropped.
#ifndef ARENA_JUDGE_CONTROLLER_LOG_H
#define ARENA_JUDGE_CONTROLLER_LOG_H

#include <QString>

#include <cstddef>
#include <string>

class ControllerLog
{
public:
    ControllerLog() = default;
    ~ControllerLog();
    ControllerLog(const ControllerLog &) = delete;
    ControllerLog &operator=(const ControllerLog &) = delete;

    // Empties the file; false, with `error` saying why, when it cannot.
    bool open(const QString &path, long long limitBytes, QString &error);

    // Appends the whole lines of `text` (a game's output carries its
    // unfinished line over in `partial`); with `end`, the unfinished line too.
    void add(std::string &partial, const char *text, size_t size, bool end = false);

    // Everything a game's output pipe holds now; with `end`, its unfinished
    // line too, and the pipe is closed (`fd` becomes -1). A pipe whose
    // writer is gone is closed as well.
    void drain(int &fd, std::string &partial, bool end);

    long long droppedLines() const { return dropped; }
    long long limit() const { return limitBytes; }

private:
    void line(const char *text, size_t size);

    int fd = -1;
    long long written = 0;
    long long limitBytes = 0;
    long long dropped = 0;
};

#endif
