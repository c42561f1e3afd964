// The arena against controllers that attack it rather than play: whatever
// they do, they change their own rows only through their actions, and never
// anyone else's.
#include "arena/game_row.h"
#include "arena/runner.h"
#include "common/exit_codes.h"
#include "tests/arena_process.h"
#include "tests/collected_run.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Patient limits: a loaded machine must not fail an honest game. The tests
// of the limits set their own.
ArenaSettings patient(int games)
{
    ArenaSettings s;
    s.games = games;
    s.timeLimitMs = 10000;
    s.firstCallMs = 20000;
    s.jobs = 2;
    return s;
}

QString trespasser(const char *kind)
{
    return QDir(QStringLiteral(TRESPASS_DIR)).filePath(QStringLiteral("libtrespass_%1.so").arg(QLatin1String(kind)));
}

// Every field a row has, as one comparable text.
QString fieldsOf(const GameRow &r)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13")
        .arg(r.seed)
        .arg(int(r.outcome))
        .arg(int(r.failure))
        .arg(r.failureCode)
        .arg(r.steps)
        .arg(r.agent0Radius)
        .arg(r.agent0Rank)
        .arg(r.opponentsAlive)
        .arg(r.deathStep)
        .arg(r.deathCause)
        .arg(r.deathOther)
        .arg(r.wallLoss)
        .arg(r.contestLoss);
}

QStringList fieldsOf(const QVector<GameRow> &rows)
{
    return textsOf(rows, [](const GameRow &r) { return fieldsOf(r); });
}

// The rows of `libraries` played together, each with its log in `logs`.
Collected play(const QStringList &libraries, const ArenaSettings &settings, const QTemporaryDir &logs)
{
    QVector<ControllerSpec> specs;
    for (int i = 0; i < libraries.size(); ++i)
        specs.append({libraries[i], QStringLiteral("c%1").arg(i), logs.filePath(QStringLiteral("%1.log").arg(i))});
    Collected collected(libraries.size());
    QString error;
    if (!runArena(specs, settings, collected, error))
        qWarning("runArena: %s", qPrintable(error));
    return collected;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Busy loops on every processor while it lives: a machine that other work
// keeps busy.
class BusyMachine
{
public:
    explicit BusyMachine(int loops)
    {
        for (int i = 0; i < loops; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0)
                for (volatile long spin = 0;;)
                    spin = spin + 1;
            children.push_back(pid);
        }
    }
    ~BusyMachine()
    {
        for (pid_t pid : children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> children;
};

} // namespace

class TestTrust : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructorsRunConfined();
    void writingThroughTheArraysChangesNothing();
    void descriptorsSignalsAndFloodsLoseOwnGamesOnly();
    void nothingTheArenaHoldsReachesAGame();
    void aBusyMachineFailsNoHonestGame();
    void honestRowsAreByteForByteTheSame();
};

void TestTrust::constructorsRunConfined()
{
    QTemporaryDir logs;
    QFile::remove(QStringLiteral("/tmp/pelloria-trespass.txt"));
    const Collected alone = play({QStringLiteral(BRAINLET_LIB)}, patient(3), logs);
    const Collected beside = play({QStringLiteral(BRAINLET_LIB), trespasser("constructor_trespass")}, patient(3), logs);
    QCOMPARE(alone.rows[0].size(), 3);
    QCOMPARE(fieldsOf(beside.rows[0]), fieldsOf(alone.rows[0]));
    QCOMPARE(beside.rows[1].size(), 3);
    for (const GameRow &row : beside.rows[1])
        QCOMPARE(row.failure, FailureKind::None);
    // Every attempt, at the load check and in each game, was refused.
    const QByteArray log = readFile(logs.filePath(QStringLiteral("1.log")));
    QCOMPARE(log.count("trespass "), 4 * 11);
#if defined(SANITIZED_GAMES)
    QCOMPARE(log.count("list /proc: done"), 4);
    QCOMPARE(log.count(": refused\n"), 4 * 10);
#else
    QCOMPARE(log.count(": refused\n"), 4 * 11);
    QVERIFY2(!log.contains("done"), log.constData());
#endif
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/pelloria-trespass.txt")));
    QVERIFY(!QFile::exists(QStringLiteral("pelloria-trespass.txt")));
    QVERIFY2(beside.notes.isEmpty(), qPrintable(beside.notes.join(QLatin1Char('\n'))));
}

void TestTrust::writingThroughTheArraysChangesNothing()
{
    // Radius 200 for itself and 0 for the others, every step: it sees a
    // game it has won, and plays on in the one it has not.
    QTemporaryDir logs;
    const Collected run = play({trespasser("plays_observations"), trespasser("writes_arrays")}, patient(5), logs);
    QCOMPARE(run.rows[0].size(), 5);
    QCOMPARE(fieldsOf(run.rows[1]), fieldsOf(run.rows[0]));
    int survived = 0;
    for (const GameRow &row : run.rows[1]) {
        QCOMPARE(row.failure, FailureKind::None);
        QVERIFY(row.steps > 1);
        survived += row.agent0Survived() ? 1 : 0;
    }
    QVERIFY(survived < 5);
}

void TestTrust::descriptorsSignalsAndFloodsLoseOwnGamesOnly()
{
    QTemporaryDir logs;
    ArenaSettings s = patient(2);
    s.timeLimitMs = 50;
    s.firstCallMs = 20000; // the first call's allowance stays patient
    const QStringList libraries{QStringLiteral(BRAINLET_LIB),        QStringLiteral(STORES0_LIB),
                                trespasser("scribbles_descriptors"), trespasser("closes_descriptors"),
                                trespasser("stops_itself"),          trespasser("blocks_signals_and_spins"),
                                trespasser("prints_flood"),          QStringLiteral(SLEEPS_LIB)};
    const Collected run = play(libraries, s, logs);
    const Collected honest = play({QStringLiteral(BRAINLET_LIB)}, patient(2), logs);
    QCOMPARE(fieldsOf(run.rows[0]), fieldsOf(honest.rows[0]));
    // Harmless to anyone: its own descriptors, written to or closed.
    QCOMPARE(fieldsOf(run.rows[2]), fieldsOf(run.rows[1]));
    QCOMPARE(fieldsOf(run.rows[3]), fieldsOf(run.rows[1]));
    QCOMPARE(fieldsOf(run.rows[6]), fieldsOf(run.rows[1]));
    for (int g = 0; g < 2; ++g) {
        QCOMPARE(run.rows[4][g].failure, FailureKind::Stalled); // stopped itself
        QCOMPARE(run.rows[4][g].steps, 10);
        QCOMPARE(run.rows[5][g].failure, FailureKind::TimeLimit); // nothing but SIGKILL ends it
        QCOMPARE(run.rows[5][g].steps, 10);
        QCOMPARE(run.rows[7][g].failure, FailureKind::Stalled); // asleep for an hour
        QCOMPARE(run.rows[7][g].steps, 10);
    }
    // A hundred megabytes printed: the log keeps its cap and says so once.
    const QFileInfo flooded(logs.filePath(QStringLiteral("6.log")));
    QVERIFY(flooded.size() <= s.logLimitBytes + 200);
    QVERIFY(flooded.size() > s.logLimitBytes - 2048);
    QCOMPARE(readFile(flooded.filePath()).count("pelloria-arena: the log reached its limit"), 1);
    QVERIFY(run.notes.filter(QStringLiteral("c6: its log reached its limit")).size() == 1);
    const QByteArray scribbled = readFile(logs.filePath(QStringLiteral("2.log")));
    QVERIFY(scribbled.contains("forged"));
}

// A descriptor the arena was started with, and what a controller printed
// just before it crashed.
void TestTrust::nothingTheArenaHoldsReachesAGame()
{
    QTemporaryDir logs;
    int inherited[2];
    QVERIFY(::pipe(inherited) == 0);
    const pid_t arenaPid = ::fork();
    if (arenaPid == 0) {
        ::close(inherited[0]);
        const QByteArray exe(ARENA_EXE), lib = trespasser("scribbles_descriptors").toLocal8Bit(),
                                         crash = trespasser("prints_then_crashes").toLocal8Bit(),
                                         dir = logs.path().toLocal8Bit();
        const char *argv[] = {exe.constData(), "--games",         "2",         "--controller",  lib.constData(),
                              "--controller",  crash.constData(), "--log-dir", dir.constData(), nullptr};
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDOUT_FILENO);
        ::execv(exe.constData(), const_cast<char *const *>(argv));
        ::_exit(ExitNotStarted);
    }
    ::close(inherited[1]);
    int status = 0;
    QCOMPARE(::waitpid(arenaPid, &status, 0), arenaPid);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), int(ExitSomeFailed)); // the crashing controller's games failed
    char byte;
    QCOMPARE(::read(inherited[0], &byte, 1), ssize_t(0)); // closed by everyone, written by no one
    ::close(inherited[0]);
    const QByteArray crashed = readFile(logs.filePath(QStringLiteral("2-libtrespass_prints_then_crashes.log")));
    QVERIFY2(crashed.contains("seed 1 step 7 stdout: about to crash at call 7\n"), crashed.constData());
    QVERIFY(crashed.contains("seed 2 step 7 stdout: about to crash at call 7\n"));
}

void TestTrust::aBusyMachineFailsNoHonestGame()
{
    // 20 ms of processor time a call, against a 50 ms limit, while busy
    // loops keep every processor taken: the clock runs far past 50 ms per
    // call, the controller's own time does not.
    QTemporaryDir logs;
    ArenaSettings s = patient(4);
    s.timeLimitMs = 50;
    s.maxSteps = 30;
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    BusyMachine busy(int(std::max(1L, processors)));
    const Collected run = play({QStringLiteral(SPINS_20MS_LIB)}, s, logs);
    QCOMPARE(run.rows[0].size(), 4);
    for (const GameRow &row : run.rows[0]) {
        QCOMPARE(row.failure, FailureKind::None);
        QCOMPARE(row.outcome, GameOutcome::StepLimit);
        QCOMPARE(row.steps, 30);
    }
}

void TestTrust::honestRowsAreByteForByteTheSame()
{
    // The CSV of 1000 games of the reference and of each example, less the
    // column naming the file: as the arena wrote it before games were
    // judged by replay, but for death_cause naming the other agent by its
    // label ("contest with agent [4]") where it gave its index ("3").
    const struct {
        const char *library;
        const char *sha256;
    } known[] = {{BRAINLET_LIB, "e1bc24c79e3bc6f3b047cf4c47c85a9187e9415a0a9fad81599d17b960606a8d"},
                 {GREEDY_LIB, "8ba06445a2a5cca71177a50a4082080835ae7f7b709357085812dc7eb5c45b31"},
                 {C_CONTROLLER_LIB, "952f985ccf7ac8c883dc70edf4881ebcc30f1eda0f6ae165414e50bab100955d"}};
    QTemporaryDir dir;
    for (const auto &k : known) {
        const QString csv = dir.filePath(QStringLiteral("games.csv"));
        const Run run
            = arena({QStringLiteral("--games"), QStringLiteral("1000"), QStringLiteral("--controller"),
                     QString::fromLocal8Bit(k.library), QStringLiteral("--csv"), csv, QStringLiteral("--time-limit"),
                     QStringLiteral("10000"), QStringLiteral("--log-dir"), dir.path()});
        QCOMPARE(run.exitCode, 0);
        QByteArray withoutFile;
        for (const QByteArray &line : readFile(csv).split('\n'))
            if (!line.isEmpty())
                withoutFile += line.mid(line.indexOf(',') + 1) + '\n';
        QCOMPARE(QCryptographicHash::hash(withoutFile, QCryptographicHash::Sha256).toHex(), QByteArray(k.sha256));
    }
}

QTEST_GUILESS_MAIN(TestTrust)
#include "test_trust.moc"
