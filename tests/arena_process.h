// Runs a program of ours to its end and keeps what it said.
#ifndef ARENA_PROCESS_H
#define ARENA_PROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

struct Run {
    int exitCode = -1; // -1: did not finish in time; -2: crashed
    QString out;
    QString err;
};

// Generous: a loaded two-core machine must not fail a test by its clock.
constexpr int processWaitMs = 120000;

inline Run runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(processWaitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

#ifdef ARENA_EXE
inline Run arena(const QStringList &arguments)
{
    return runProgram(QStringLiteral(ARENA_EXE), arguments);
}
#endif

#endif
