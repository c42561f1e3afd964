#include "arena/outputs.h"

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
    std::fputs(formatTable(results, settings).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    if (jsonFile) {
        const QByteArray data = formatJson(results, settings);
        if (jsonFile->write(data) != data.size()) {
            error = QStringLiteral("cannot write %1: %2").arg(jsonFile->fileName(), jsonFile->errorString());
            return false;
        }
    }
    for (QSaveFile *file : {csvFile.get(), jsonFile.get()}) {
        if (file && ((file == csvFile.get() && results.csvFailed()) || !file->commit())) {
            error = QStringLiteral("cannot write %1: %2").arg(file->fileName(), file->errorString());
            return false;
        }
    }
    return true;
}
