// Loading a controller, and the one line that says why a file cannot be
// one: in the tests' own process, and as pelloria-arena answers it.
#include "common/exit_codes.h"
#include "plugin/controller_library.h"
#include "tests/arena_process.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadingFailures();
};

void TestPlugin::loadingFailures()
{
    const LoadedController missing = loadController(QStringLiteral("/nonexistent/lib.so"), QStringLiteral("x"));
    QVERIFY(!missing.function);
    QVERIFY(missing.error.contains(QStringLiteral("no such file")));
    const LoadedController empty = loadController(QStringLiteral(NO_CONTROLLER_LIB), QStringLiteral("x"));
    QVERIFY(!empty.function);
    QVERIFY(empty.error.contains(QStringLiteral("exports no 'controller'")));

    for (const char *path : {NO_CONTROLLER_LIB, "/nonexistent/lib.so"}) {
        const Run run = arena(
            {QStringLiteral("--games"), QStringLiteral("2"), QStringLiteral("--controller"), QString::fromUtf8(path)});
        QCOMPARE(run.exitCode, int(ExitUnusable));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(run.out.isEmpty()); // no game was played
    }
    // A text file is no library.
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.so"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a library\n");
    file.close();
    const Run run = arena({QStringLiteral("--controller"), text});
    QCOMPARE(run.exitCode, int(ExitUnusable));
    QVERIFY(run.err.contains(QStringLiteral("cannot load")));
}

QTEST_GUILESS_MAIN(TestPlugin)
#include "test_plugin.moc"
