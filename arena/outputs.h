// The report on stdout and the CSV and JSON files, shared by a run and a
// merge of shards. The files are opened before anything is played, so an
// unwritable path costs nothing, and committed whole at the end or not at all.
#ifndef ARENA_OUTPUTS_H
#define ARENA_OUTPUTS_H

#include <QSaveFile>
#include <QString>

#include <functional>
#include <memory>

class MatchResults;
class RunResults;
struct ArenaSettings;

class ArenaOutputs
{
public:
    bool open(const QString &csvPath, const QString &jsonPath, QString &error);
    QIODevice *csv() const { return csvFile.get(); }
    bool wantsJson() const { return jsonFile != nullptr; }
    // Prints the table, writes the JSON and commits both files.
    bool finish(const RunResults &results, const ArenaSettings &settings, QString &error);
    // A match's: `exchangeNs`, the referee's mean exchange, is said when known.
    bool finish(const MatchResults &results, const ArenaSettings &settings, double exchangeNs, QString &error);

private:
    bool finish(const QString &table, const std::function<QByteArray()> &json, bool csvFailed, QString &error);

    std::unique_ptr<QSaveFile> csvFile;
    std::unique_ptr<QSaveFile> jsonFile;
};

#endif
