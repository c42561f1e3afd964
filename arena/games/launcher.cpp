#include "arena/games/launcher.h"

#include "arena/channel/descriptors.h"
#include "arena/games/confinement.h"
#include "arena/games/game_process.h"
#include "arena/games/sandbox.h"
#include "common/exit_codes.h"
#include "engine/ball_engine.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int childPipe[2] = {-1, -1};

void onChild(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(childPipe[1], &byte, 1);
    errno = saved;
}

// Spares that cannot confine themselves, one after another, mean the
// games' processes cannot be confined here at all.
constexpr int maxSpareDeaths = 5;

class Launcher
{
public:
    explicit Launcher(const launch::Settings &settings) : settings(settings)
    {
        limits.memoryBytes = settings.memoryBytes;
        limits.cpuSeconds = settings.cpuSeconds;
        confineGames = settings.sandbox;
    }

    [[noreturn]] void run()
    {
        setUp();
        replenish();
        for (;;) {
            pollfd fds[2] = {{settings.controlFd, POLLIN, 0}, {childPipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                quit();
            if (fds[1].revents & POLLIN)
                reap();
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
                onOrder();
        }
    }

private:
    struct Spare {
        pid_t pid;
        int socket;
    };
    struct Running {
        pid_t pid;
        uint64_t ticket;
    };

    void send(launch::Event event)
    {
        if (!descriptors::send(settings.controlFd, &event, sizeof event, nullptr, 0))
            quit(); // the arena is gone
    }

    void tell(launch::Event::Kind kind, const std::string &text)
    {
        launch::Event event;
        event.kind = kind;
        std::snprintf(event.text, sizeof event.text, "%s", text.c_str());
        send(event);
    }

    void setUp()
    {
        ::signal(SIGPIPE, SIG_IGN);
        if (::pipe2(childPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            tell(launch::Event::Failed, "pelloria-arena-host: cannot make a pipe");
            ::_exit(ExitUnusable);
        }
        struct sigaction action = {};
        action.sa_handler = &onChild;
        action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
        ::sigaction(SIGCHLD, &action, nullptr);
        if (settings.sandbox)
            confine();
        engine.setup(rules::agentsPerGame, rules::maxArenaScale);
        tell(launch::Event::Ready, std::string());
    }

    // Said once each: what could not be confined on this system.
    void confine()
    {
        std::string why;
        if (!sandbox::available(why, limits)) {
            tell(launch::Event::Note, "no sandbox (" + why + "): the controllers ran unconfined");
            confineGames = false;
            return;
        }
        std::vector<std::string> extra;
        for (int i = 0; i < settings.readableCount && i < launch::maxReadableFolders; ++i)
            extra.emplace_back(settings.readable[i]);
        std::vector<std::string> needed{settings.libraryPath};
        needed.insert(needed.end(), extra.begin(), extra.end());
        std::string missing = confinement::isolateLauncher(needed);
        rulesFd = confinement::readOnlyRules(confinement::readableFolders(settings.libraryPath, extra), why);
        if (rulesFd < 0)
            missing += (missing.empty() ? "" : ", ") + why;
        if (!missing.empty())
            tell(launch::Event::Note, "not confined on this system: " + missing);
    }

    bool forkSpare()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            GameProcessSetup setup;
            setup.libraryPath = settings.libraryPath;
            setup.socketFd = ends[1];
            setup.rulesFd = rulesFd;
            setup.confine = confineGames;
            setup.limits = limits;
            setup.engine = &engine;
            runGameProcess(setup);
        }
        ::close(ends[1]);
        if (pid < 0) {
            ::close(ends[0]);
            return false;
        }
        spares.push_back({pid, ends[0]});
        return true;
    }

    void replenish()
    {
        while (int(spares.size()) < settings.spares && forkSpare()) {
        }
    }

    void onOrder()
    {
        launch::Order order;
        int fds[descriptors::maxPassed];
        int count = descriptors::maxPassed;
        const long got = descriptors::receive(settings.controlFd, &order, sizeof order, fds, count);
        if (got == 0 || (got < 0 && errno != EPROTO))
            quit();
        if (got > 0 && order.kind == launch::Order::Start && count == 2)
            start(order.ticket, fds);
        else if (got > 0 && order.kind == launch::Order::Kill)
            kill(order.ticket);
        for (int i = 0; i < count; ++i)
            ::close(fds[i]);
    }

    // Hands the game to a spare; the arena hears which process plays it,
    // or that none could.
    void start(uint64_t ticket, const int fds[2])
    {
        launch::Order order;
        order.ticket = ticket;
        for (;;) {
            if (spares.empty() && !forkSpare()) {
                launch::Event lost;
                lost.kind = launch::Event::Ended;
                lost.ticket = ticket;
                lost.status = -1;
                send(lost);
                return;
            }
            const Spare spare = spares.front();
            spares.erase(spares.begin());
            const bool given = descriptors::send(spare.socket, &order, sizeof order, fds, 2);
            ::close(spare.socket);
            if (!given)
                continue; // it died waiting; its end is reaped as a spare's
            running.push_back({spare.pid, ticket});
            launch::Event started;
            started.kind = launch::Event::Started;
            started.ticket = ticket;
            started.pid = spare.pid;
            send(started);
            // Replaced now, not as spares die: a library that ends every
            // process it loads in must not keep the launcher forking.
            replenish();
            return;
        }
    }

    // Only its own children, which it has not reaped yet: the pid cannot
    // have passed to another process.
    void kill(uint64_t ticket)
    {
        for (const Running &game : running)
            if (game.ticket == ticket)
                ::kill(game.pid, SIGKILL);
    }

    void reap()
    {
        char drain[64];
        while (::read(childPipe[0], drain, sizeof drain) > 0) {
        }
        int status = 0;
        rusage usage{};
        pid_t pid;
        while ((pid = ::wait4(-1, &status, WNOHANG, &usage)) > 0)
            ended(pid, status, usage);
    }

    void ended(pid_t pid, int status, const rusage &usage)
    {
        for (size_t i = 0; i < running.size(); ++i) {
            if (running[i].pid != pid)
                continue;
            launch::Event event;
            event.kind = launch::Event::Ended;
            event.ticket = running[i].ticket;
            event.pid = pid;
            event.status = status;
            event.cpuNs = (int64_t(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000000
                + (int64_t(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000;
            running.erase(running.begin() + long(i));
            spareDeaths = 0;
            send(event);
            return;
        }
        for (size_t i = 0; i < spares.size(); ++i) {
            if (spares[i].pid != pid)
                continue;
            ::close(spares[i].socket);
            spares.erase(spares.begin() + long(i));
            const bool unconfined = WIFEXITED(status) && WEXITSTATUS(status) == ExitUnconfined;
            if (unconfined && ++spareDeaths >= maxSpareDeaths) {
                tell(launch::Event::Failed, "the games' processes end before they play: they cannot be confined here");
                quit();
            }
            return;
        }
    }

    // No game outlives the arena.
    [[noreturn]] void quit()
    {
        for (const Running &game : running)
            ::kill(game.pid, SIGKILL);
        for (const Spare &spare : spares)
            ::kill(spare.pid, SIGKILL);
        // The namespaces' first process ends with this one, unwaited for.
        for (const Running &game : running)
            descriptors::retryInterrupted([&] { return ::waitpid(game.pid, nullptr, 0); });
        for (const Spare &spare : spares)
            descriptors::retryInterrupted([&] { return ::waitpid(spare.pid, nullptr, 0); });
        ::_exit(0);
    }

    const launch::Settings &settings;
    SandboxLimits limits;
    bool confineGames = true;
    int rulesFd = -1;
    Ball_engine engine; // laid out once; every game's process inherits it ready
    std::vector<Spare> spares;
    std::vector<Running> running;
    int spareDeaths = 0;
};

} // namespace

void launcherMain(const launch::Settings &settings)
{
    static Launcher launcher(settings);
    launcher.run();
}
