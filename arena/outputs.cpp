#include "arena/outputs.h"

#include "arena/match_results.h"
#include "arena/report.h"
#include "arena/run_results.h"

#include <cstdio>

bool ArenaOutputs::open(const QString &csvPath, const QString &jsonPath, QString &error)
{
    for (auto [path, file] :
         {std::pair<const QString *, std::unique_ptr<QSaveFile> *>{&csvPath, &csvFile}, {&jsonPath, &jsonFile}}) {
        if (path->isEmpty())
            continue;
        file->reset(new QSaveFile(*path));
        if (!(*file)->open(QIODevice::WriteOnly)) {
            error = QStringLiteral("cannot write %1: %2").arg(*path, (*file)->errorString());
            return false;
        }
    }
    return true;
}

bool ArenaOutputs::finish(const RunResults &results, const ArenaSettings &settings, QString &error)
{
    return finish(
        formatTable(results, settings), [&] { return formatJson(results, settings); }, results.csvFailed(), error);
}

bool ArenaOutputs::finish(const MatchResults &results, const ArenaSettings &settings, double exchangeNs, QString &error)
{
    return finish(
        results.table(settings, exchangeNs), [&] { return results.json(settings); }, results.csvFailed(), error);
}

bool ArenaOutputs::finish(const QString &table, const std::function<QByteArray()> &json, bool csvFailed, QString &error)
{
    std::fputs(table.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    if (jsonFile) {
        const QByteArray data = json();
        if (jsonFile->write(data) != data.size()) {
            error = QStringLiteral("cannot write %1: %2").arg(jsonFile->fileName(), jsonFile->errorString());
            return false;
        }
    }
    for (QSaveFile *file : {csvFile.get(), jsonFile.get()}) {
        if (file && ((file == csvFile.get() && csvFailed) || !file->commit())) {
            error = QStringLiteral("cannot write %1: %2").arg(file->fileName(), file->errorString());
            return false;
        }
    }
    return true;
}
