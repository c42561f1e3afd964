// What a run of the arena hands its listener, kept as it arrives, and its
// rows as text to compare.
#ifndef COLLECTED_RUN_H
#define COLLECTED_RUN_H

#include "arena/runner.h"

#include <QStringList>
#include <QVector>
#include <QtTest>

struct Collected : RunListener {
    QVector<QVector<GameRow>> rows;
    QVector<int> stoppedAfter;
    QVector<CallTiming> timings;
    QStringList notes;
    explicit Collected(int controllers) : rows(controllers), stoppedAfter(controllers, -1), timings(controllers) { }
    void gameRow(int c, int index, const GameRow &row) override
    {
        QCOMPARE(index, rows[c].size()); // in seed order, none missing
        rows[c].append(row);
    }
    void stopped(int c, int afterIndex) override { stoppedAfter[c] = afterIndex; }
    void timing(int c, const CallTiming &t) override { timings[c].add(t); }
    void note(const QString &line) override { notes << line; }
};

// Each row as `text` writes it, to compare runs row by row.
template <typename Text>
QStringList textsOf(const QVector<GameRow> &rows, Text text)
{
    QStringList texts;
    for (const GameRow &row : rows)
        texts << text(row);
    return texts;
}

#endif
