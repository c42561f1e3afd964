// What a run adds up to, gathered as the rows arrive: the tallies, the
// pairing with the baseline, the CSV written as it goes, and the rows
// themselves only when the JSON needs them.
#ifndef RUN_RESULTS_H
#define RUN_RESULTS_H

#include "arena/runner.h"

#include <QIODevice>
#include <QString>
#include <QVector>

#include <map>
#include <vector>

struct ControllerResult {
    QString label;
    QString logPath;
    QString sha256; // of the library file, so that shards can be matched
    QString path;
    ControllerTally tally;
    CallTiming timing;
    int stoppedAfter = -1;          // the game index --max-failures stopped it after
    QVector<GameRow> rows;          // kept only for the JSON
    QVector<GameRow> firstFailures; // a few, for the table
};

class RunResults : public RunListener
{
public:
    // `csv` (may be null) receives the header now and the rows as they come.
    RunResults(const QVector<ControllerSpec> &controllers, int baseline, bool keepRows, QIODevice *csv);

    void gameRow(int controller, int index, const GameRow &row) override;
    void stopped(int controller, int afterIndex) override;
    void timing(int controller, const CallTiming &timing) override;

    const QVector<ControllerResult> &controllers() const { return results; }
    int baseline() const { return base; }
    // Against the baseline; the baseline's own entry stays empty.
    const QVector<PairedTally> &paired() const { return pairs; }
    bool anyFailure() const;
    // The replay's path: its file name in the --record folder, or empty.
    QString replayName(int controller, const GameRow &row) const;
    void setRecordFolder(const QString &folder) { recordFolder = folder; }
    void note(const QString &line) override;
    const QStringList &notes() const { return noted; }
    bool csvFailed() const { return csvError; }

    static constexpr int failuresListed = 5;

private:
    QString recordFolder;
    struct Seed {
        std::vector<GameRow> rows;
        std::vector<bool> have;
    };
    void settle(int index);
    bool complete(int index, const Seed &seed) const;
    void writeCsv(int controller, const GameRow &row);

    QVector<ControllerResult> results;
    QVector<PairedTally> pairs;
    QVector<int> stopIndex;
    int base;
    bool keepRows;
    QIODevice *csv;
    bool csvError = false;
    std::map<int, Seed> open; // seeds some controller has not delivered yet
    QStringList noted;
};

#endif
