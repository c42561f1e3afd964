// How games are confined: each trespass a controller may try is refused
// beside an honest controller that does not notice, the sandbox's own trial
// of what it refuses while loading and while playing, and the launcher
// that the games are forked from.
#include "arena/games/sandbox.h"
#include "arena/row_text.h"
#include "arena/runner.h"
#include "common/exit_codes.h"
#include "tests/arena_process.h"
#include "tests/arena_run.h"
#include "tests/collected_run.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>

#if defined(__linux__)
#  include <fcntl.h>
#  include <sched.h>
#  include <signal.h>
#  include <sys/socket.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

class TestSandbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sandboxRefusesEveryTrespass();
    void sandboxLeavesHonestControllersAlone();
    void noSandboxSaysSo();
    void sandboxTrialAndUnrecordedRefusals();
    void hostProgramFailures();
};

void TestSandbox::sandboxRefusesEveryTrespass()
{
    const struct {
        const char *library;
        const char *call;
    } trespasses[] = {{"opens_passwd", "openat"}, {"writes_file", "openat"}, {"socket", "socket"},
                      {"forks", "clone"},         {"execs", "execve"},       {"allocates", "mmap"},
                      {"ptrace", "ptrace"},       {"signals_init", "kill"},  {"raises_priority", "sched_setscheduler"}};
    QTemporaryDir logs;
    // One job, and one per processor, where each game keeps to a processor
    // and is confined only once it has its slot.
    for (const int jobs : {1, QThread::idealThreadCount()})
        for (const auto &t : trespasses) {
            // Beside an honest controller, which must not notice.
            const QString library = QDir(QStringLiteral(SANDBOX_LIB_DIR))
                                        .filePath(QStringLiteral("libsandbox_%1.so").arg(QLatin1String(t.library)));
            const QVector<ControllerSpec> specs{
                {library, QStringLiteral("stranger"), logs.filePath(QStringLiteral("s.log"))},
                {QStringLiteral(STORES0_LIB), QStringLiteral("honest"), logs.filePath(QStringLiteral("h.log"))}};
            Collected collected(2);
            QString error;
            ArenaSettings s = settings(1, 3);
            s.jobs = jobs;
            QVERIFY2(runArena(specs, s, collected, error), qPrintable(error));
            QCOMPARE(collected.rows[0].size(), 3);
            for (const GameRow &g : collected.rows[0]) {
                QCOMPARE(g.failure, FailureKind::Refused);
                QCOMPARE(g.steps, 5);
                QVERIFY2(failureReason(g).startsWith(QStringLiteral("sandbox: refused %1").arg(QLatin1String(t.call))),
                         qPrintable(failureReason(g)));
            }
            QCOMPARE(gamesOf(collected.rows[1]), gamesOf(play(STORES0_LIB, settings(1, 3))));
        }
    QVERIFY(!QFile::exists(QStringLiteral("pelloria-sandbox-escape.txt")));
    QFile log(logs.filePath(QStringLiteral("s.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("ptrace 0")); // the call never returned to it
}

void TestSandbox::sandboxLeavesHonestControllersAlone()
{
    for (const char *library :
         {BRAINLET_LIB, GREEDY_LIB, PRINTS_LIB, RESEEDS_LIB, SLOW_LIB, STEPS_ASIDE_LIB, CXX_RUNTIME_LIB}) {
        ArenaSettings confined = settings(11, 4);
        ArenaSettings free = confined;
        free.sandbox = false;
        const QVector<GameRow> rows = play(library, confined);
        QCOMPARE(gamesOf(rows), gamesOf(play(library, free)));
        // Its own C++ runtime beside the host's, exceptions and all.
        if (library == QLatin1String(CXX_RUNTIME_LIB)) {
            QCOMPARE(rows.size(), 4);
            for (const GameRow &g : rows)
                QVERIFY2(!g.failed(), qPrintable(gameOf(g)));
        }
    }
}

void TestSandbox::noSandboxSaysSo()
{
    QTemporaryDir dir;
    const QString library
        = QDir(QStringLiteral(SANDBOX_LIB_DIR)).filePath(QStringLiteral("libsandbox_opens_passwd.so"));
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("1"), QStringLiteral("--controller"), library,
                           QStringLiteral("--no-sandbox"), QStringLiteral("--log-dir"), dir.path()});
    QCOMPARE(run.exitCode, int(ExitOk));
    QVERIFY(run.out.contains(QStringLiteral("WARNING: --no-sandbox: the controllers ran unconfined")));
    QFile log(dir.filePath(QStringLiteral("1-libsandbox_opens_passwd.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("seed 1 step 5 stdout: read: r")); // root's line, unconfined
    const Run confined = arena({QStringLiteral("--games"), QStringLiteral("1"), QStringLiteral("--controller"), library,
                                QStringLiteral("--log-dir"), dir.path()});
    QCOMPARE(confined.exitCode, int(ExitSomeFailed));
    QVERIFY(!confined.out.contains(QStringLiteral("WARNING")));
    QVERIFY(confined.out.contains(QStringLiteral("refused at seed 1, step 5: sandbox: refused openat")));
}

void TestSandbox::sandboxTrialAndUnrecordedRefusals()
{
#if defined(__linux__)
    std::string why;
    if (!sandbox::available(why, SandboxLimits()))
        QSKIP(why.c_str());
    // Confined, with nothing to record a refusal in: the process must not
    // end as if all went well.
    const auto statusOf = [](bool playing, int (*body)()) {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            if (!sandbox::enterLoading(SandboxLimits()) || (playing && !sandbox::enterGame(SandboxLimits(), 0)))
                ::_exit(3);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const int refused = ExitRefused;
    const auto lowerPriority = [] {
        const sched_param none = {};
        return ::sched_setscheduler(0, SCHED_IDLE, &none) == 0 ? 0 : 1;
    };
    // Playing: reading a file at all, or a signal to another process.
    QCOMPARE(statusOf(true, [] { return ::open("/etc/passwd", O_RDONLY) >= 0 ? 1 : 2; }), refused);
    QCOMPARE(statusOf(true, lowerPriority), 0);
    QCOMPARE(statusOf(true, [] { return ::kill(1, 0) == 0 ? 1 : 2; }), refused);
    // Loading: reading is left to the file rules, and everything else a
    // library has no business doing fails, without ending the process.
    QCOMPARE(statusOf(false, [] { return ::open("/etc/hostname", O_RDONLY) >= 0 ? 0 : 1; }), 0);
    QCOMPARE(
        statusOf(false,
                 [] { return ::open("/tmp/pelloria-never", O_WRONLY | O_CREAT, 0600) < 0 && errno == EACCES ? 0 : 1; }),
        0);
    QCOMPARE(statusOf(false, [] { return ::mkdir("/tmp/pelloria-never-dir", 0700) < 0 && errno == EACCES ? 0 : 1; }),
             0);
    QCOMPARE(statusOf(false, [] { return ::socket(AF_INET, SOCK_STREAM, 0) < 0 && errno == EPERM ? 0 : 1; }), 0);
    QCOMPARE(statusOf(false, [] { return ::fork() < 0 && errno == EPERM ? 0 : 1; }), 0);
    QCOMPARE(statusOf(false, [] { return ::kill(1, 0) < 0 && errno == EPERM ? 0 : 1; }), 0);
#else
    QSKIP("games are confined on Linux only");
#endif
}

void TestSandbox::hostProgramFailures()
{
    // A host program that is not there: no game, and one line naming it.
    QTemporaryDir logs;
    ArenaSettings missing = settings(1, 2);
    missing.hostProgram = QStringLiteral("/nonexistent/pelloria-arena-host");
    Collected collected(1);
    QString error;
    QVERIFY(!runArena({{QStringLiteral(BRAINLET_LIB), QStringLiteral("b"), logs.filePath(QStringLiteral("b.log"))}},
                      missing, collected, error));
    QCOMPARE(error, QStringLiteral("cannot start /nonexistent/pelloria-arena-host: No such file or directory"));
    QCOMPARE(collected.rows[0].size(), 0);

    // A library that ends its host as it loads, or a path the host cannot
    // be handed: no game for anyone, and one line naming the library.
    const QString tooLong = QStringLiteral("/tmp/") + QString(5000, QLatin1Char('x')) + QStringLiteral(".so");
    const struct {
        QString library;
        QString error;
    } unplayable[] = {{QStringLiteral(EXITS_AT_LOAD_LIB),
                       QStringLiteral(EXITS_AT_LOAD_LIB ": the library ended its process while loading")},
                      {tooLong, tooLong + QStringLiteral(": the path is too long")}};
    for (const auto &u : unplayable) {
        Collected both(2);
        QVERIFY(!runArena({{QStringLiteral(BRAINLET_LIB), QStringLiteral("b"), logs.filePath(QStringLiteral("b.log"))},
                           {u.library, QStringLiteral("u"), logs.filePath(QStringLiteral("u.log"))}},
                          settings(1, 2), both, error));
        QCOMPARE(error, u.error);
        QCOMPARE(both.rows[0].size() + both.rows[1].size(), 0);
    }

    // The launcher that the games are forked from maps no Qt: a fork of a
    // process with Qt's libraries costs four times as much. Unconfined, so
    // that the library may read its maps; it loads once to be checked, then
    // in its game.
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("1"), QStringLiteral("--no-sandbox"),
                           QStringLiteral("--controller"), QStringLiteral(REPORTS_QT_LIB), QStringLiteral("--log-dir"),
                           logs.path()});
    QCOMPARE(run.exitCode, int(ExitOk));
    QFile log(logs.filePath(QStringLiteral("1-libcontroller_reports_qt.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("load stdout: maps Qt: no\nseed 1 step 0 stdout: maps Qt: no\n"));

#if defined(__linux__)
    // Nor, where it is built lean, the libraries it links in or does
    // without: every library's regions cost each game's fork and exit. The
    // loader lists what it would load, and runs nothing.
    QProcess loader;
    QProcessEnvironment listOnly = QProcessEnvironment::systemEnvironment();
    listOnly.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    loader.setProcessEnvironment(listOnly);
    loader.start(QStringLiteral(HOST_EXE), QStringList());
    QVERIFY(loader.waitForFinished(10000));
    const QByteArray loaded = loader.readAllStandardOutput();
    QVERIFY2(loaded.contains("libc.so"), loaded.constData());
    for (const QByteArray &library : QByteArray(HOST_LEAVES_OUT).split(','))
        QVERIFY2(library.isEmpty() || !loaded.contains(library), (library + " in " + loaded).constData());
#endif

#if defined(__linux__)
    // Every game plays at the ordinary policy and may use every processor,
    // one job or one per processor (unconfined: the sandbox would refuse
    // the questions).
    cpu_set_t usable;
    QCOMPARE(::sched_getaffinity(0, sizeof usable, &usable), 0);
    const int processors = CPU_COUNT(&usable);
    for (const int jobs : {1, processors}) {
        const Run policy = arena({QStringLiteral("--games"), QStringLiteral("3"), QStringLiteral("--jobs"),
                                  QString::number(jobs), QStringLiteral("--no-sandbox"), QStringLiteral("--controller"),
                                  QStringLiteral(REPORTS_POLICY_LIB), QStringLiteral("--log-dir"), logs.path()});
        QCOMPARE(policy.exitCode, int(ExitOk));
        QFile policies(logs.filePath(QStringLiteral("1-libcontroller_reports_policy.log")));
        QVERIFY(policies.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = policies.readAll().trimmed().split('\n');
        std::sort(lines.begin(), lines.end());
        const QByteArray says = "policy 0, processors " + QByteArray::number(processors);
        QCOMPARE(lines,
                 (QList<QByteArray>{"seed 1 step 1 stdout: " + says, "seed 2 step 1 stdout: " + says,
                                    "seed 3 step 1 stdout: " + says}));
    }
#endif

    // Run by hand, or handed a descriptor with no settings behind it.
    const struct {
        QStringList arguments;
        const char *why;
    } byHand[] = {{{}, "it is not run by hand"},
                  {{QStringLiteral("12x")}, "it is not run by hand"},
                  {{QStringLiteral("0")}, "no settings from pelloria-arena"}};
    for (const auto &run : byHand) {
        QProcess host;
        host.start(QStringLiteral(HOST_EXE), run.arguments);
        QVERIFY(host.waitForStarted());
        host.closeWriteChannel(); // descriptor 0 then reads nothing
        QVERIFY(host.waitForFinished(10000));
        QCOMPARE(host.exitCode(), 2);
        QVERIFY2(host.readAllStandardError().contains(run.why), run.why);
    }
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "test_sandbox.moc"
