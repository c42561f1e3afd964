// A match's recorded games: their replays name every seat's controller and
// how a seat was taken out, agree with the match's rows death by death, and
// the viewer shows who steered each agent, from a file or from --seed with
// several controllers.
#include "app/agent_panel.h"
#include "app/replay_window.h"
#include "plugin/controller_symbols.h"
#include "replay/replay.h"
#include "tests/arena_process.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString crashing = QStringLiteral(CRASH_ON_SEED_LIB); // crashes at step 100 of seed 3
const QString reference = QStringLiteral(BRAINLET_LIB);
const QString crashWords = QStringLiteral("crashed at seed 3, step 100: signal 11");

QList<QStringList> csvRows(const QString &path)
{
    QFile file(path);
    QList<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    file.readLine(); // the header
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        line.remove(QLatin1Char('"')); // no cell here holds a comma
        rows << line.split(QLatin1Char(','));
    }
    return rows;
}

enum Column { Controller, Seed, Rotation, Agent, Outcome, Steps, Rank, Radius, DeathStep, DeathCause, Failure };
constexpr int replayColumn = 14;

} // namespace

class TestMatchReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void replaysNameEverySeat();
    void replaysAgreeWithTheRows();
    void onlyTheChosenGamesAreWritten();
    void seatsInAFileAreChecked();
    void thePanelNamesEachAgentsController();
    void theViewerSeatsSeveralControllers();

private:
    QTemporaryDir dir;
    QString records() const { return dir.filePath(QStringLiteral("replays")); }
};

void TestMatchReplay::initTestCase()
{
    QVERIFY(dir.isValid());
    const Run run = arena(
        {QStringLiteral("match"), QStringLiteral("--controller"), crashing, QStringLiteral("--controller"), reference,
         QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--games"), QStringLiteral("2"),
         QStringLiteral("--time-limit"), QStringLiteral("10000"), QStringLiteral("--record"), records(),
         QStringLiteral("--record-games"), QStringLiteral("all"), QStringLiteral("--csv"),
         dir.filePath(QStringLiteral("rows.csv")), QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))});
    QCOMPARE(run.exitCode, 1); // a controller failed
    QVERIFY2(run.out.contains(QStringLiteral("FAILED  ") + crashing + QStringLiteral(": ") + crashWords),
             qPrintable(run.out));
}

void TestMatchReplay::replaysNameEverySeat()
{
    for (int seating = 1; seating <= 2; ++seating) {
        Replay replay;
        QString error;
        const QString name = QStringLiteral("match-seed3-seating%1.replay.gz").arg(seating);
        QVERIFY2(readReplay(QDir(records()).filePath(name), replay, error), qPrintable(error));
        QCOMPARE(replay.header.seats.size(), size_t(2));
        // Seating 1: the first controller at agent 0; seating 2 swaps them.
        const QString at0 = seating == 1 ? crashing : reference, at1 = seating == 1 ? reference : crashing;
        QCOMPARE(replay.header.seats[0].agent, 0);
        QCOMPARE(replay.header.seats[0].controller, at0);
        QCOMPARE(replay.header.seats[1].agent, 1);
        QCOMPARE(replay.header.seats[1].controller, at1);
        QCOMPARE(replay.header.seats[0].sha256, librarySha256(at0));
        QCOMPARE(replay.header.controller, QFileInfo(at0).fileName());
        const ReplaySeat &failed = replay.header.seats[seating == 1 ? 0 : 1];
        QCOMPARE(failed.failedAtStep, 100);
        QVERIFY2(failed.failure.startsWith(crashWords), qPrintable(failed.failure));
        QVERIFY(replay.header.seats[seating == 1 ? 1 : 0].failure.isEmpty());
        // Taken out at step 100, and the game went on without it.
        QCOMPARE(replay.deathSteps()[size_t(seating - 1)], 100);
        QVERIFY(replay.header.steps > 100);
    }
}

void TestMatchReplay::replaysAgreeWithTheRows()
{
    const QList<QStringList> rows = csvRows(dir.filePath(QStringLiteral("rows.csv")));
    QCOMPARE(rows.size(), 2 * 2 * 2);
    int deaths = 0;
    for (const QStringList &row : rows) {
        QCOMPARE(row.size(), replayColumn + 1);
        const QString name
            = QStringLiteral("match-seed%1-seating%2.replay.gz").arg(row[Seed]).arg(row[Rotation].toInt() + 1);
        QCOMPARE(row[replayColumn], name);
        Replay replay;
        QString error;
        QVERIFY2(readReplay(QDir(records()).filePath(name), replay, error), qPrintable(error));
        const int agent = row[Agent].toInt();
        QCOMPARE(replay.header.seats[size_t(agent)].controller, row[Controller]);
        QCOMPARE(QString::number(replay.header.steps), row[Steps]);
        QCOMPARE(QString::number(std::max(0, replay.frames.back().radius[size_t(agent)])), row[Radius]);
        // The referee's death step is the step the replay shows it gone.
        const int died = replay.deathSteps()[size_t(agent)];
        QCOMPARE(row[DeathStep], died > 0 ? QString::number(died) : QString());
        deaths += died > 0 ? 1 : 0;
        // Agent 0's changes are in the replay: its cause is the last one.
        if (agent == 0 && died > 0 && row[Failure].isEmpty()) {
            const std::vector<RadiusChange> &changes = replay.frames[size_t(died)].changes;
            QVERIFY(!changes.empty());
            QCOMPARE(row[DeathCause], changeText(changes.back()).section(QLatin1Char(' '), 0, -2));
        }
    }
    QVERIFY(deaths >= 2); // at least the two crashes
}

void TestMatchReplay::onlyTheChosenGamesAreWritten()
{
    const QString only = dir.filePath(QStringLiteral("failed"));
    const Run run
        = arena({QStringLiteral("match"), QStringLiteral("--controller"), crashing, QStringLiteral("--controller"),
                 reference, QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--games"),
                 QStringLiteral("2"), QStringLiteral("--time-limit"), QStringLiteral("10000"),
                 QStringLiteral("--record"), only, QStringLiteral("--record-games"), QStringLiteral("failed"),
                 QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QDir(only).entryList(QDir::Files),
             QStringList(
                 {QStringLiteral("match-seed3-seating1.replay.gz"), QStringLiteral("match-seed3-seating2.replay.gz")}));
}

void TestMatchReplay::seatsInAFileAreChecked()
{
    Replay replay;
    QString error;
    QVERIFY(readReplay(QDir(records()).filePath(QStringLiteral("match-seed2-seating1.replay.gz")), replay, error));
    // Written and read again, the seats are the same.
    Replay again;
    QVERIFY2(decodeReplay(encodeReplay(replay), again, error), qPrintable(error));
    QCOMPARE(again.header.seats.size(), size_t(2));
    QCOMPARE(again.header.seats[1].controller, replay.header.seats[1].controller);
    QCOMPARE(again.header.seats[1].sha256, replay.header.seats[1].sha256);
    // A replay of one controller has none.
    Replay single = replay;
    single.header.seats.clear();
    QVERIFY(decodeReplay(encodeReplay(single), again, error));
    QVERIFY(again.header.seats.empty());
    QVERIFY(!QString::fromStdString(replayHeaderLine(single.header)).contains(QStringLiteral("seats")));
    // Two seats on one agent, or an agent past the tenth, are damage.
    for (int agent : {0, 10, -1}) {
        Replay damaged = replay;
        damaged.header.seats[1].agent = agent;
        QVERIFY(!decodeReplay(encodeReplay(damaged), again, error));
        QCOMPARE(error, QStringLiteral("the replay's seats are damaged"));
    }
}

void TestMatchReplay::thePanelNamesEachAgentsController()
{
    Replay replay;
    QString error;
    QVERIFY(readReplay(QDir(records()).filePath(QStringLiteral("match-seed3-seating2.replay.gz")), replay, error));
    const QVector<AgentRow> before = agentRows(replay, 99), after = agentRows(replay, 100);
    QCOMPARE(before[0].controller, QFileInfo(reference).fileName());
    QCOMPARE(before[1].controller, QFileInfo(crashing).fileName());
    for (int a = 2; a < replayAgents; ++a)
        QCOMPARE(before[a].controller, QStringLiteral("random"));
    QCOMPARE(after[1].state, QStringLiteral("taken out at step 100"));
    const QString seatOut = QStringLiteral("agent [2] (%1) %2").arg(QFileInfo(crashing).fileName(), crashWords);
    QVERIFY(!stepStatus(replay, 99, QString()).contains(seatOut));
    QVERIFY2(stepStatus(replay, 100, QString()).contains(seatOut), qPrintable(stepStatus(replay, 100, QString())));
    ReplayWindow window(replay);
    window.seek(150);
    QTableWidget *panel = window.panel();
    QStringList shown;
    for (int r = 0; r < panel->rowCount(); ++r)
        shown << panel->item(r, 0)->text() + QLatin1Char(' ') + panel->item(r, 1)->text();
    QVERIFY2(shown.contains(QStringLiteral("[2] ") + QFileInfo(crashing).fileName()), qPrintable(shown.join('|')));
    QVERIFY(shown.contains(QStringLiteral("[1] ") + QFileInfo(reference).fileName()));
    QVERIFY(shown.contains(QStringLiteral("[3] random")));
    QVERIFY(window.statusText().contains(seatOut));
    // An evaluation's replay: agent 0's controller, the others random.
    Replay single = replay;
    single.header.seats.clear();
    QCOMPARE(agentRows(single, 0)[0].controller, single.header.controller);
    QCOMPARE(agentRows(single, 0)[1].controller, QStringLiteral("random"));
}

void TestMatchReplay::theViewerSeatsSeveralControllers()
{
    const QString frames = dir.filePath(QStringLiteral("frames"));
    const Run run = runProgram(QStringLiteral(PELLORIA_EXE),
                               {QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--controller"),
                                reference, QStringLiteral("--controller"), crashing, QStringLiteral("--export-frames"),
                                frames, QStringLiteral("--from"), QStringLiteral("100"), QStringLiteral("--to"),
                                QStringLiteral("101"), QStringLiteral("--overlay")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(QDir(frames).entryList(QDir::Files).size(), 2);
    QStringList tooMany{QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--export-frames"), frames};
    for (int c = 0; c < 11; ++c)
        tooMany << QStringLiteral("--controller") << reference;
    const Run refused = runProgram(QStringLiteral(PELLORIA_EXE), tooMany);
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains(QStringLiteral("at most 10 --controller")), qPrintable(refused.err));
    const Run missing = runProgram(QStringLiteral(PELLORIA_EXE),
                                   {QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--controller"),
                                    reference, QStringLiteral("--controller"), dir.filePath(QStringLiteral("none.so")),
                                    QStringLiteral("--export-frames"), frames});
    QCOMPARE(missing.exitCode, 2);
}

QTEST_MAIN(TestMatchReplay)
#include "test_match_replay.moc"
