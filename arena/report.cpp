#include "arena/report.h"

#include "arena/game_row_fields.h"
#include "arena/run_results.h"
#include "arena/runner.h"
#include "engine/ball_engine.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstring>

namespace {

constexpr size_t agentsInRank = rules::agentsPerGame;

QString signedFixed(double value, int decimals)
{
    const QString text = fixed(value, decimals);
    return text.startsWith(QLatin1Char('-')) ? text : QLatin1Char('+') + text;
}

QString percent(double share)
{
    return fixed(100.0 * share, 1) + QLatin1Char('%');
}

QString survivalText(const Interval &i)
{
    if (!i.valid)
        return QStringLiteral("n/a");
    return QStringLiteral("%1 [%2, %3]").arg(percent(i.estimate), percent(i.low), percent(i.high));
}

QString meanText(const Interval &i, int decimals)
{
    if (!i.valid)
        return QStringLiteral("n/a");
    if (!i.bounded)
        return fixed(i.estimate, decimals) + QStringLiteral(" (one game: no interval)");
    return QStringLiteral("%1 [%2, %3]")
        .arg(fixed(i.estimate, decimals), fixed(i.low, decimals), fixed(i.high, decimals));
}

QString differenceText(const Interval &i, double scale, int decimals, const QString &unit)
{
    if (!i.valid)
        return QStringLiteral("n/a");
    QString text = signedFixed(scale * i.estimate, decimals);
    if (i.bounded)
        text += QStringLiteral(" [%1, %2]")
                    .arg(signedFixed(scale * i.low, decimals), signedFixed(scale * i.high, decimals));
    else
        text += QStringLiteral(" (one game: no interval)");
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}

QString pText(double p)
{
    return p < 0.0001 ? QStringLiteral("< 0.0001") : QString::number(p, 'g', 3);
}

QJsonValue intervalJson(const Interval &i)
{
    if (!i.valid)
        return QJsonValue::Null;
    QJsonObject o{{QStringLiteral("estimate"), i.estimate}};
    if (i.bounded) {
        o.insert(QStringLiteral("low"), i.low);
        o.insert(QStringLiteral("high"), i.high);
    }
    return o;
}

QJsonObject outcomesJson(const ControllerTally &t)
{
    QJsonObject o;
    for (const GameEnd &end : gameEnds)
        o.insert(QString::fromLatin1(end.countKey), t.ended(end));
    return o;
}

// The seeds and limits of the run, and whatever it must warn of.
void writeRunHeading(QTextStream &out, const RunResults &results, const ArenaSettings &settings)
{
    const SeedRange range = settings.played();
    out << "Seeds " << range.first << " to " << range.first + unsigned(range.games) - 1;
    if (settings.shards > 1)
        out << " (shard " << settings.shard << " of " << settings.shards << " of seeds " << settings.firstSeed << " to "
            << settings.firstSeed + unsigned(settings.games) - 1 << ")";
    out << ", step limit " << settings.maxSteps << ", time limit " << settings.timeLimitMs << " ms per call\n";
    if (!settings.sandbox)
        out << "WARNING: --no-sandbox: the controllers ran unconfined, with every right of this user\n";
    for (const QString &note : results.notes())
        out << "WARNING: " << note << "\n";
}

// How the games that failed failed, counted by kind.
void writeFailureCounts(QTextStream &out, const ControllerTally &t)
{
    out << "  failed games          " << t.failures();
    if (t.failures() > 0)
        out << ": crashed " << t.crashed << ", over the time limit " << t.timeLimit << ", ended the process "
            << t.exited << ", refused by the sandbox " << t.refused << ", not started " << t.lost;
    // Only where they happened, so that the line of a run without them
    // reads as it always did.
    if (t.stalled > 0)
        out << ", stalled " << t.stalled;
    if (t.badChannel > 0)
        out << ", bad channel " << t.badChannel;
    out << "\n";
}

void writeCallTiming(QTextStream &out, const CallTiming &timing, const ArenaSettings &settings)
{
    if (timing.calls > 0 || timing.worstNs > 0)
        out << "  controller call       mean "
            << (timing.calls > 0 ? fixed(timing.totalNs / double(timing.calls) / 1000.0, 3) : QStringLiteral("n/a"))
            << " us, worst " << fixed(timing.worstNs / 1000.0, 1) << " us (the limit is " << settings.timeLimitMs * 1000
            << " us)\n";
    else
        out << "  controller call       n/a\n";
}

// The first failed games by name, and how many more the rows hold.
void writeFirstFailures(QTextStream &out, const ControllerResult &r)
{
    for (const GameRow &g : r.firstFailures)
        out << "  FAILED                " << failureLine(g) << "\n";
    if (r.tally.failures() > r.firstFailures.size())
        out << "  FAILED                and " << r.tally.failures() - r.firstFailures.size()
            << " more (the rows list them all)\n";
}

// One controller's block: its games, their outcomes and failures, its calls.
void writeController(QTextStream &out, const ControllerResult &r, bool isBaseline, const ArenaSettings &settings)
{
    const ControllerTally &t = r.tally;
    out << "\n" << r.label << (isBaseline ? "  (baseline)" : "") << "\n";
    out << "  games played          " << t.games << " of " << settings.played().games;
    if (r.stoppedAfter >= 0)
        out << " (stopped after " << settings.maxFailures << " failed games)";
    out << "\n";
    out << "  agent 0 survived      " << survivalText(t.survival()) << "\n";
    out << "  final radius, mean    " << meanText(t.radius(), 2) << "\n";
    out << "  rank of " << agentsInRank << ", mean      " << meanText(t.rank(), 2) << "\n";
    out << "  steps per game, mean  " << (t.finished > 0 ? fixed(t.meanSteps(), 1) : QStringLiteral("n/a")) << "\n";
    out << "  outcomes              set " << t.set << ", none alive " << t.noneAlive << ", step limit " << t.stepLimit
        << "\n";
    writeFailureCounts(out, t);
    writeCallTiming(out, r.timing, settings);
    writeFirstFailures(out, r);
    if (!r.logPath.isEmpty())
        out << "  its output            " << r.logPath << "\n";
}

// A controller against the baseline, seed by seed.
void writePairing(QTextStream &out, const PairedTally &p, const QString &label, const QString &baseLabel)
{
    out << "\n" << label << " against " << baseLabel << ", paired on the same " << p.pairs << " seeds:\n";
    out << "  survival difference   " << differenceText(p.survivalDifference(), 100.0, 1, QStringLiteral("points"));
    if (p.pairs > 0)
        out << ", McNemar exact p " << pText(p.survivalP()) << " (" << p.onlyOther << " seeds only " << label
            << " survived, " << p.onlyBase << " only " << baseLabel << ")";
    out << "\n";
    out << "  final radius          " << differenceText(p.radiusDifference(), 1.0, 2, QString());
    out << "  (" << p.finishedPairs << " seeds both finished)\n";
    out << "  rank                  " << differenceText(p.rankDifference(), 1.0, 2, QString()) << "\n";
}

QJsonObject summaryJson(const ControllerResult &r)
{
    const ControllerTally &t = r.tally;
    return QJsonObject{
        {QStringLiteral("games"), t.games},
        {QStringLiteral("finished"), t.finished},
        {QStringLiteral("failed"), t.failures()},
        {QStringLiteral("agent0_survival"), intervalJson(t.survival())},
        {QStringLiteral("mean_final_radius"), intervalJson(t.radius())},
        {QStringLiteral("mean_rank"), intervalJson(t.rank())},
        {QStringLiteral("mean_steps"), t.finished > 0 ? QJsonValue(t.meanSteps()) : QJsonValue()},
        {QStringLiteral("outcomes"), outcomesJson(t)},
        {QStringLiteral("call_mean_us"),
         r.timing.calls > 0 ? QJsonValue(r.timing.totalNs / double(r.timing.calls) / 1000.0) : QJsonValue()},
        {QStringLiteral("call_worst_us"), r.timing.worstNs / 1000.0},
        {QStringLiteral("calls"), r.timing.calls},
        {QStringLiteral("call_total_ns"), r.timing.totalNs}};
}

QJsonObject controllerJson(const RunResults &results, int c, const ArenaSettings &settings)
{
    const ControllerResult &r = results.controllers()[c];
    QJsonArray games;
    for (const GameRow &g : r.rows)
        games.append(gameRowJson(g, results.replayName(c, g)));
    // No log path: it is the one thing two runs of the same games never
    // share, and merged shards must give the single run's output.
    QJsonObject entry{{QStringLiteral("controller"), r.label},
                      {QStringLiteral("file"), QFileInfo(r.path).fileName()},
                      {QStringLiteral("sha256"), r.sha256},
                      {QStringLiteral("summary"), summaryJson(r)},
                      {QStringLiteral("games"), games}};
    if (r.stoppedAfter >= 0)
        entry.insert(QStringLiteral("stopped_after_seed"), qint64(settings.played().first + unsigned(r.stoppedAfter)));
    return entry;
}

QJsonObject pairingJson(const PairedTally &p, const QString &label, const QString &baseLabel)
{
    return QJsonObject{{QStringLiteral("controller"), label},
                       {QStringLiteral("against"), baseLabel},
                       {QStringLiteral("pairs"), p.pairs},
                       {QStringLiteral("survival_difference"), intervalJson(p.survivalDifference())},
                       {QStringLiteral("only_controller_survived"), p.onlyOther},
                       {QStringLiteral("only_against_survived"), p.onlyBase},
                       {QStringLiteral("mcnemar_exact_p"), p.pairs > 0 ? QJsonValue(p.survivalP()) : QJsonValue()},
                       {QStringLiteral("finished_pairs"), p.finishedPairs},
                       {QStringLiteral("final_radius_difference"), intervalJson(p.radiusDifference())},
                       {QStringLiteral("rank_difference"), intervalJson(p.rankDifference())}};
}

} // namespace

QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-'))) {
        bool zero = true;
        for (int i = 1; i < text.size() && zero; ++i)
            zero = text[i] == QLatin1Char('0') || text[i] == QLatin1Char('.');
        if (zero)
            text.remove(0, 1);
    }
    return text;
}

QJsonObject settingsJson(const ArenaSettings &settings)
{
    QJsonObject root{{QStringLiteral("first_seed"), qint64(settings.firstSeed)},
                     {QStringLiteral("games"), settings.games},
                     {QStringLiteral("max_steps"), settings.maxSteps},
                     {QStringLiteral("time_limit_ms"), settings.timeLimitMs},
                     {QStringLiteral("max_failures"), settings.maxFailures},
                     {QStringLiteral("sandbox"), settings.sandbox},
                     {QStringLiteral("memory_limit_mb"), settings.memoryLimitMb},
                     {QStringLiteral("record_games"), settings.recordGames}};
    if (settings.shards > 1) {
        const SeedRange range = settings.played();
        root.insert(QStringLiteral("shard"),
                    QJsonObject{{QStringLiteral("index"), settings.shard},
                                {QStringLiteral("count"), settings.shards},
                                {QStringLiteral("first_seed"), qint64(range.first)},
                                {QStringLiteral("games"), range.games}});
    }
    return root;
}

QString formatTable(const RunResults &results, const ArenaSettings &settings)
{
    QString text;
    QTextStream out(&text);
    writeRunHeading(out, results, settings);
    const QVector<ControllerResult> &controllers = results.controllers();
    for (int c = 0; c < controllers.size(); ++c) {
        const bool isBaseline = c == results.baseline() && controllers.size() > 1;
        writeController(out, controllers[c], isBaseline, settings);
    }
    const int base = results.baseline();
    for (int c = 0; c < controllers.size(); ++c) {
        if (c != base)
            writePairing(out, results.paired()[c], controllers[c].label, controllers[base].label);
    }
    out.flush();
    return text;
}

QByteArray formatJson(const RunResults &results, const ArenaSettings &settings)
{
    const int base = results.baseline();
    QJsonArray controllers;
    for (int c = 0; c < results.controllers().size(); ++c)
        controllers.append(controllerJson(results, c, settings));
    QJsonArray differences;
    for (int c = 0; c < results.controllers().size(); ++c) {
        if (c != base)
            differences.append(
                pairingJson(results.paired()[c], results.controllers()[c].label, results.controllers()[base].label));
    }
    QJsonObject root = settingsJson(settings);
    root.insert(QStringLiteral("baseline"), results.controllers()[base].label);
    root.insert(QStringLiteral("controllers"), controllers);
    root.insert(QStringLiteral("paired_differences"), differences);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
