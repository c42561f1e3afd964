#include "arena/run_results.h"

#include "arena/game_row_fields.h"
#include "arena/row_text.h"

#include <QDir>

#include <climits>

RunResults::RunResults(const QVector<ControllerSpec> &controllers, int baseline, bool keepRows, QIODevice *csv)
    : pairs(controllers.size()), stopIndex(controllers.size(), INT_MAX), base(baseline), keepRows(keepRows), csv(csv)
{
    for (const ControllerSpec &entry : controllers) {
        ControllerResult r;
        r.label = entry.label;
        r.logPath = entry.logPath;
        r.sha256 = entry.sha256;
        r.path = entry.path;
        results.append(r);
    }
    if (csv)
        csvError = csv->write(csvHeader()) < 0;
}

void RunResults::gameRow(int controller, int index, const GameRow &row)
{
    ControllerResult &r = results[controller];
    r.tally.add(row);
    if (row.failed() && r.firstFailures.size() < failuresListed)
        r.firstFailures.append(row);
    if (keepRows)
        r.rows.append(row);
    Seed &seed = open[index];
    if (seed.rows.empty()) {
        seed.rows.resize(size_t(results.size()));
        seed.have.assign(size_t(results.size()), false);
    }
    seed.rows[size_t(controller)] = row;
    seed.have[size_t(controller)] = true;
    settle(index);
}

void RunResults::stopped(int controller, int afterIndex)
{
    results[controller].stoppedAfter = afterIndex;
    stopIndex[controller] = afterIndex + 1;
    // Seeds that waited only for this controller are complete now.
    while (!open.empty() && complete(open.begin()->first, open.begin()->second))
        settle(open.begin()->first);
}

void RunResults::timing(int controller, const CallTiming &timing)
{
    results[controller].timing.add(timing);
}

bool RunResults::complete(int index, const Seed &seed) const
{
    for (int c = 0; c < results.size(); ++c)
        if (!seed.have[size_t(c)] && index < stopIndex[c])
            return false;
    return true;
}

// Seeds are settled in order: a seed's rows go out once every controller
// has played it or stopped before it, so the CSV lists seeds in order.
void RunResults::settle(int index)
{
    Q_UNUSED(index);
    while (!open.empty()) {
        auto first = open.begin();
        const Seed &seed = first->second;
        if (!complete(first->first, seed))
            return;
        for (int c = 0; c < results.size(); ++c) {
            if (!seed.have[size_t(c)])
                continue;
            writeCsv(c, seed.rows[size_t(c)]);
            if (c != base && seed.have[size_t(base)])
                pairs[c].add(seed.rows[size_t(base)], seed.rows[size_t(c)]);
        }
        open.erase(first);
    }
}

void RunResults::writeCsv(int controller, const GameRow &row)
{
    if (!csv || csvError)
        return;
    csvError = csv->write(csvRow(results[controller].label, row, replayName(controller, row))) < 0;
}

QString RunResults::replayName(int controller, const GameRow &row) const
{
    if (!row.replayed)
        return QString();
    const QString name = replayFileName(controller, results[controller].path, row.seed);
    return recordFolder.isEmpty() ? name : QDir(recordFolder).filePath(name);
}

void RunResults::note(const QString &line)
{
    if (!noted.contains(line))
        noted.append(line);
}

bool RunResults::anyFailure() const
{
    for (const ControllerResult &r : results)
        if (r.tally.failures() > 0)
            return true;
    return false;
}
