#include "arena/judge/controller_log.h"

#include "arena/channel/descriptors.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ControllerLog::~ControllerLog()
{
    if (fd >= 0)
        ::close(fd);
}

bool ControllerLog::open(const QString &path, long long limit, QString &error)
{
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = QStringLiteral("cannot write the log %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    limitBytes = limit;
    return true;
}

void ControllerLog::line(const char *text, size_t size)
{
    if (dropped == 0 && written + (long long)size <= limitBytes) {
        descriptors::writeAll(fd, text, size);
        written += (long long)size;
        return;
    }
    if (dropped++ == 0) {
        char note[160];
        const int n = std::snprintf(note, sizeof note,
                                    "pelloria-arena: the log reached its limit of %lld bytes; "
                                    "later lines are counted, not written\n",
                                    limitBytes);
        descriptors::writeAll(fd, note, size_t(n));
    }
}

void ControllerLog::add(std::string &partial, const char *text, size_t size, bool end)
{
    if (fd < 0)
        return;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] != '\n')
            continue;
        if (partial.empty()) {
            line(text + start, i + 1 - start);
        } else {
            partial.append(text + start, i + 1 - start);
            line(partial.data(), partial.size());
            partial.clear();
        }
        start = i + 1;
    }
    // An unfinished line is held only up to the cap: beyond it, it is one
    // line too long to write anyway.
    if (start < size && (long long)partial.size() <= limitBytes)
        partial.append(text + start, size - start);
    if (end && !partial.empty()) {
        partial.push_back('\n');
        line(partial.data(), partial.size());
        partial.clear();
    }
}

void ControllerLog::drain(int &output, std::string &partial, bool end)
{
    if (output < 0)
        return;
    char buffer[65536];
    ssize_t n;
    while ((n = descriptors::retryInterrupted([&] { return ::read(output, buffer, sizeof buffer); })) > 0)
        add(partial, buffer, size_t(n));
    if (n == 0 || end) {
        add(partial, nullptr, 0, true);
        ::close(output);
        output = -1;
    }
}
