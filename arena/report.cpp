#include "report.h"

#include "runner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QString percent(double share)
{
    return QString::number(100.0 * share, 'f', 1) + QLatin1Char('%');
}

QString interval(const Interval &i)
{
    return QStringLiteral("%1 [%2, %3]").arg(percent(i.estimate), percent(i.low), percent(i.high));
}

QString signedInterval(const Interval &i)
{
    auto points = [](double v) { return QString::asprintf("%+.1f", 100.0 * v); };
    return QStringLiteral("%1 [%2, %3] points").arg(points(i.estimate), points(i.low), points(i.high));
}

QString failureText(const Failure &f)
{
    const char *what = f.kind == FailureKind::Crashed ? "crashed"
        : f.kind == FailureKind::TimeLimit            ? "over the time limit"
                                                      : "stopped";
    return QStringLiteral("%1 at seed %2, step %3: %4")
        .arg(QString::fromLatin1(what))
        .arg(f.seed)
        .arg(f.step)
        .arg(f.detail);
}

QJsonObject intervalJson(const Interval &i)
{
    return QJsonObject{{QStringLiteral("estimate"), i.estimate},
                       {QStringLiteral("low"), i.low},
                       {QStringLiteral("high"), i.high}};
}

} // namespace

QString formatTable(const QVector<ControllerRun> &runs, const ArenaSettings &settings)
{
    QString text;
    QTextStream out(&text);
    out << "Seeds " << settings.firstSeed << " to " << settings.firstSeed + unsigned(settings.games) - 1
        << ", step limit " << settings.maxSteps << ", time limit " << settings.timeLimitMs << " ms per call\n";
    for (const ControllerRun &run : runs) {
        const Summary s = summarize(run, arenaOpponents);
        out << "\n" << run.label << "\n";
        out << "  games played          " << s.games << " of " << settings.games << "\n";
        out << "  agent 0 survived      " << interval(s.survival) << "\n";
        out << "  opponents survived    " << interval(s.opponentSurvival) << "  (random baseline)\n";
        out << "  final radius, mean    " << QString::number(s.meanRadius, 'f', 2) << "\n";
        out << "  rank of 10, mean      " << QString::number(s.meanRank, 'f', 2) << "\n";
        out << "  steps per game, mean  " << QString::number(s.meanSteps, 'f', 1) << "\n";
        out << "  outcomes              set " << s.set << ", none alive " << s.noneAlive << ", step limit "
            << s.stepLimit << "\n";
        out << "  controller call       mean " << QString::number(s.meanCallUs, 'f', 3) << " us, worst "
            << QString::number(s.worstCallUs, 'f', 1) << " us (the game allows 50000 us)\n";
        if (run.failure.kind != FailureKind::None)
            out << "  FAILED                " << failureText(run.failure) << "\n";
    }
    for (int k = 1; k < runs.size(); ++k) {
        const PairedDifference d = pairedSurvivalDifference(runs[0], runs[k]);
        out << "\n" << runs[k].label << " against " << runs[0].label << ", on the same " << d.pairs
            << " seeds:\n  survival difference   " << signedInterval(d.difference) << "\n";
    }
    out.flush();
    return text;
}

QByteArray formatCsv(const QVector<ControllerRun> &runs)
{
    QByteArray csv("controller,seed,outcome,steps,agent0_survived,agent0_radius,agent0_rank,opponents_alive\n");
    for (const ControllerRun &run : runs) {
        QString label = run.label;
        label.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        const QByteArray quoted = "\"" + label.toUtf8() + "\"";
        for (const GameRow &g : run.games) {
            csv += quoted + ',' + QByteArray::number(g.seed) + ',' + outcomeName(g.outcome) + ','
                + QByteArray::number(g.steps) + ',' + (g.agent0Survived() ? "1" : "0") + ','
                + QByteArray::number(g.agent0Radius) + ',' + QByteArray::number(g.agent0Rank) + ','
                + QByteArray::number(g.opponentsAlive) + '\n';
        }
    }
    return csv;
}

QByteArray formatJson(const QVector<ControllerRun> &runs, const ArenaSettings &settings)
{
    QJsonArray controllers;
    for (const ControllerRun &run : runs) {
        const Summary s = summarize(run, arenaOpponents);
        QJsonArray games;
        for (const GameRow &g : run.games)
            games.append(QJsonObject{{QStringLiteral("seed"), qint64(g.seed)},
                                     {QStringLiteral("outcome"), QString::fromLatin1(outcomeName(g.outcome))},
                                     {QStringLiteral("steps"), g.steps},
                                     {QStringLiteral("agent0_survived"), g.agent0Survived()},
                                     {QStringLiteral("agent0_radius"), g.agent0Radius},
                                     {QStringLiteral("agent0_rank"), g.agent0Rank},
                                     {QStringLiteral("opponents_alive"), g.opponentsAlive}});
        QJsonObject summary{{QStringLiteral("games"), s.games},
                            {QStringLiteral("agent0_survival"), intervalJson(s.survival)},
                            {QStringLiteral("opponent_survival"), intervalJson(s.opponentSurvival)},
                            {QStringLiteral("mean_final_radius"), s.meanRadius},
                            {QStringLiteral("mean_rank"), s.meanRank},
                            {QStringLiteral("mean_steps"), s.meanSteps},
                            {QStringLiteral("outcomes"),
                             QJsonObject{{QStringLiteral("set"), s.set},
                                         {QStringLiteral("none_alive"), s.noneAlive},
                                         {QStringLiteral("step_limit"), s.stepLimit}}},
                            {QStringLiteral("call_mean_us"), s.meanCallUs},
                            {QStringLiteral("call_worst_us"), s.worstCallUs}};
        QJsonObject entry{{QStringLiteral("controller"), run.label},
                          {QStringLiteral("summary"), summary},
                          {QStringLiteral("games"), games}};
        if (run.failure.kind != FailureKind::None)
            entry.insert(QStringLiteral("failure"), failureText(run.failure));
        controllers.append(entry);
    }
    QJsonArray differences;
    for (int k = 1; k < runs.size(); ++k) {
        const PairedDifference d = pairedSurvivalDifference(runs[0], runs[k]);
        differences.append(QJsonObject{{QStringLiteral("controller"), runs[k].label},
                                       {QStringLiteral("against"), runs[0].label},
                                       {QStringLiteral("pairs"), d.pairs},
                                       {QStringLiteral("survival_difference"), intervalJson(d.difference)}});
    }
    QJsonObject root{{QStringLiteral("first_seed"), qint64(settings.firstSeed)},
                     {QStringLiteral("games"), settings.games},
                     {QStringLiteral("max_steps"), settings.maxSteps},
                     {QStringLiteral("time_limit_ms"), settings.timeLimitMs},
                     {QStringLiteral("controllers"), controllers},
                     {QStringLiteral("paired_differences"), differences}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
