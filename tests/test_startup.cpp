// Starting the real program: what it needs beside it, and how it says so.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int startupWaitMs = 10000;

QString programName()
{
    return QFileInfo(QStringLiteral(PELLORIA_EXE)).fileName();
}

// A folder holding the program and, if given, a library under brainlet's name.
bool stage(const QTemporaryDir &dir, const QString &library)
{
    const QString exe = dir.filePath(programName());
    if (!QFile::copy(QStringLiteral(PELLORIA_EXE), exe))
        return false;
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    if (library.isEmpty())
        return true;
    return QFile::copy(library, dir.filePath(QFileInfo(QStringLiteral(BRAINLET_LIB)).fileName()));
}

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString errors;
};

// Runs the staged program; one that is still running after `ms` has got past
// loading and is killed.
Run runStaged(const QTemporaryDir &dir, const QProcessEnvironment &env, int ms)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.start(dir.filePath(programName()), QStringList());
    Run run;
    if (!process.waitForStarted(startupWaitMs))
        return run;
    run.finished = process.waitForFinished(ms);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(startupWaitMs);
    } else {
        run.exitCode = process.exitCode();
    }
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithBrainletBesideIt();
    void missingBrainletStopsStartup();
    void brainletWithoutControllerStopsStartup();
    void noDisplayIsOneClearLine();
};

void TestStartup::startsWithBrainletBesideIt()
{
    QTemporaryDir dir;
    QVERIFY(stage(dir, QStringLiteral(BRAINLET_LIB)));
    const Run run = runStaged(dir, headless(), 1500);
    QVERIFY2(!run.finished, qPrintable(run.errors));
}

void TestStartup::missingBrainletStopsStartup()
{
    QTemporaryDir dir;
    QVERIFY(stage(dir, QString()));
    const Run run = runStaged(dir, headless(), startupWaitMs);
    QVERIFY(run.finished);
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.errors.contains(QStringLiteral("libbrainlet")), qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QStringLiteral("cannot open shared object file")), qPrintable(run.errors));
}

void TestStartup::brainletWithoutControllerStopsStartup()
{
    QTemporaryDir dir;
    QVERIFY(stage(dir, QStringLiteral(NO_CONTROLLER_LIB)));
    const Run run = runStaged(dir, headless(), startupWaitMs);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(QStringLiteral("exports no 'controller' function. Likely causes")),
             qPrintable(run.errors));
    QVERIFY(
        run.errors.contains(QStringLiteral("It exports not_a_controller, but the game calls exactly 'controller'")));
    QCOMPARE(run.errors.count(QLatin1Char('\n')), 1);
}

void TestStartup::noDisplayIsOneClearLine()
{
    QTemporaryDir dir;
    QVERIFY(stage(dir, QStringLiteral(BRAINLET_LIB)));
    QProcessEnvironment env = headless();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    const Run run = runStaged(dir, env, startupWaitMs);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.errors.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.errors.contains(QStringLiteral("no display")), qPrintable(run.errors));
    QVERIFY(run.errors.contains(QStringLiteral("xvfb-run")));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
