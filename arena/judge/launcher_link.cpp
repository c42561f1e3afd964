#include "arena/judge/launcher_link.h"

#include "arena/channel/descriptors.h"
#include "common/exit_codes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
// How long a launcher may take to say it is ready, and to end once told to.
constexpr auto readyDeadline = std::chrono::seconds(30);
constexpr auto endDeadline = std::chrono::seconds(10);

// The program: the one asked for, else the one beside the running program,
// as installed, else where this build made it.
QString hostProgram(const ArenaSettings &settings)
{
    if (!settings.hostProgram.isEmpty())
        return settings.hostProgram;
    if (QCoreApplication::instance()) {
        QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pelloria-arena-host"));
        if (QFileInfo(beside).isExecutable())
            return beside;
    }
    return QStringLiteral(PELLORIA_HOST_BUILD_PATH);
}

// Folders a controller's data may be in: those the run names, and those of
// the files a Python controller reads.
QStringList readableFolders(const ArenaSettings &settings)
{
    QStringList folders;
    for (const QString &folder : settings.readable)
        folders << QFileInfo(folder).absoluteFilePath();
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"PELLORIA_PY_CONTROLLER", "PELLORIA_WEIGHTS"}) {
        const QString file = environment.value(QString::fromLatin1(name));
        if (!file.isEmpty())
            folders << QFileInfo(file).absolutePath();
    }
    return folders;
}

bool fillSettings(const ControllerSpec &entry, const ArenaSettings &settings, launch::Settings &out, QString &error)
{
    const QByteArray library = QFile::encodeName(QFileInfo(entry.path).absoluteFilePath());
    if (size_t(library.size()) >= sizeof out.libraryPath) {
        error = QStringLiteral("%1: the path is too long").arg(entry.path);
        return false;
    }
    std::memcpy(out.libraryPath, library.constData(), size_t(library.size()) + 1);
    for (const QString &folder : readableFolders(settings)) {
        const QByteArray path = QFile::encodeName(folder);
        if (out.readableCount == launch::maxReadableFolders || size_t(path.size()) >= size_t(launch::pathBytes)) {
            error = QStringLiteral("%1: too many folders to read, or a path too long").arg(folder);
            return false;
        }
        std::memcpy(out.readable[out.readableCount++], path.constData(), size_t(path.size()) + 1);
    }
    out.sandbox = settings.sandbox;
    out.spares = 2;
    out.memoryBytes = (long long)settings.memoryLimitMb << 20;
    // A backstop behind the arena's own limits: every call at the limit,
    // the first call's allowance, and ten seconds more.
    out.cpuSeconds = ((long long)settings.maxSteps * settings.timeLimitMs + settings.firstCallMs) / 1000 + 10;
    return true;
}

// In the forked child: becomes the launcher, with nothing of the arena's
// but its control socket and the pipe it reads its settings from.
[[noreturn]] void execLauncher(const QByteArray &program, launch::Settings &settings)
{
    int pipeEnds[2];
    const bool piped = ::pipe(pipeEnds) == 0;
    // Nothing the arena was started with reaches a game: not even its input.
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing >= 0)
        ::dup2(nothing, STDIN_FILENO);
    if (piped) {
        descriptors::closeAllBut({settings.controlFd, pipeEnds[0], pipeEnds[1]});
        ::fcntl(settings.controlFd, F_SETFD, 0);
        const ssize_t size = ssize_t(sizeof settings);
        if (::write(pipeEnds[1], &settings, sizeof settings) == size) {
            ::close(pipeEnds[1]);
            char fd[16];
            std::snprintf(fd, sizeof fd, "%d", pipeEnds[0]);
            char *const argv[] = {const_cast<char *>(program.constData()), fd, nullptr};
            ::execv(program.constData(), argv);
        }
    }
    launch::Event failed;
    failed.kind = launch::Event::Failed;
    std::snprintf(failed.text, sizeof failed.text, "cannot start %s: %s", program.constData(), std::strerror(errno));
    descriptors::send(settings.controlFd, &failed, sizeof failed, nullptr, 0);
    ::_exit(ExitNotStarted);
}

} // namespace

LauncherLink::~LauncherLink()
{
    stop();
}

bool LauncherLink::start(const ControllerSpec &entry, const ArenaSettings &settings, QStringList &notes, QString &error)
{
    static launch::Settings launchSettings;
    launchSettings = launch::Settings();
    if (!fillSettings(entry, settings, launchSettings, error))
        return false;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        error = QStringLiteral("cannot start a process for %1").arg(entry.label);
        return false;
    }
    const QByteArray program = QFile::encodeName(hostProgram(settings));
    launchSettings.controlFd = ends[1];
    std::fflush(nullptr);
    pid = ::fork();
    if (pid == 0)
        execLauncher(program, launchSettings);
    ::close(ends[1]);
    control = ends[0];
    if (pid < 0) {
        error = QStringLiteral("cannot start a process for %1").arg(entry.label);
        return false;
    }
    return awaitReady(notes, error);
}

bool LauncherLink::awaitReady(QStringList &notes, QString &error)
{
    const Clock::time_point deadline = Clock::now() + readyDeadline;
    while (Clock::now() < deadline) {
        pollfd fd{control, POLLIN, 0};
        ::poll(&fd, 1, 100);
        launch::Event event;
        const int got = next(event);
        if (got < 0)
            continue;
        if (got == 0 || event.kind == launch::Event::Failed) {
            error = got == 0 ? QStringLiteral("the arena's game host ended before it was ready")
                             : QString::fromLocal8Bit(event.text);
            return false;
        }
        if (event.kind == launch::Event::Ready)
            return true;
        if (event.kind == launch::Event::Note && !notes.contains(QString::fromLocal8Bit(event.text)))
            notes << QString::fromLocal8Bit(event.text);
    }
    error = QStringLiteral("the arena's game host did not get ready within 30 s");
    return false;
}

bool LauncherLink::startGame(uint64_t ticket, ChannelMemory &channel, int &output)
{
    int ends[2] = {-1, -1};
    if (gone || channel.fd < 0 || ::pipe2(ends, O_CLOEXEC) != 0) {
        channel.closeFd();
        return false;
    }
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    output = ends[0];
    launch::Order order;
    order.kind = launch::Order::Start;
    order.ticket = ticket;
    const int fds[2] = {channel.fd, ends[1]};
    const bool sent = descriptors::send(control, &order, sizeof order, fds, 2);
    channel.closeFd();
    ::close(ends[1]);
    return sent;
}

void LauncherLink::kill(uint64_t ticket)
{
    launch::Order order;
    order.kind = launch::Order::Kill;
    order.ticket = ticket;
    if (!gone)
        descriptors::send(control, &order, sizeof order, nullptr, 0);
}

int LauncherLink::next(launch::Event &event)
{
    if (gone)
        return 0;
    int fds[descriptors::maxPassed];
    int count = descriptors::maxPassed;
    const long got = descriptors::receive(control, &event, sizeof event, fds, count, false);
    for (int i = 0; i < count; ++i)
        ::close(fds[i]); // it sends none
    if (got > 0) {
        event.text[sizeof event.text - 1] = '\0';
        return 1;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return -1;
    gone = true;
    return 0;
}

// Closing its socket ends it; one that does not end in time is killed.
void LauncherLink::stop()
{
    if (control >= 0)
        ::close(control);
    control = -1;
    if (pid <= 0)
        return;
    const Clock::time_point deadline = Clock::now() + endDeadline;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            descriptors::retryInterrupted([&] { return ::waitpid(pid, &status, 0); });
            break;
        }
        ::usleep(1000);
    }
    pid = -1;
}
