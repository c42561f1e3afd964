#include "arena/match_results.h"

#include "arena/match_rows.h"
#include "arena/report.h"
#include "arena/row_text.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <numeric>

namespace {

QString fixedText(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString intervalText(const Interval &i, int decimals, double scale = 1)
{
    if (!i.valid)
        return QStringLiteral("n/a");
    if (!i.bounded)
        return fixedText(scale * i.estimate, decimals);
    return QStringLiteral("%1 [%2, %3]")
        .arg(fixedText(scale * i.estimate, decimals), fixedText(scale * i.low, decimals),
             fixedText(scale * i.high, decimals));
}

WinTable emptyTable(size_t n)
{
    return WinTable(n, std::vector<long long>(n, 0));
}

} // namespace

MatchResults::MatchResults(const QVector<ControllerSpec> &controllers, QIODevice *csv, bool keepRows)
    : keepRows(keepRows), firstFailures(size_t(controllers.size())), perController(size_t(controllers.size())),
      aheadOf(emptyTable(size_t(controllers.size()))), csv(csv)
{
    for (const ControllerSpec &c : controllers) {
        labels << c.label;
        files << QFileInfo(c.path).fileName();
        hashes << c.sha256;
    }
    if (csv)
        csvError = csv->write(matchCsvHeader()) < 0;
}

void MatchResults::game(const std::vector<MatchRow> &rows)
{
    for (const MatchRow &r : rows) {
        Tally &t = perController[size_t(r.controller)];
        ++t.games;
        t.survived += r.survived() ? 1 : 0;
        t.failed += r.failure != FailureKind::None ? 1 : 0;
        t.rankSum += r.rank;
        t.rankSquares += (long long)r.rank * r.rank;
        t.radiusSum += r.radius;
        t.radiusSquares += (long long)r.radius * r.radius;
        ++t.seats[size_t(r.agent)];
        if (csv && !csvError)
            csvError = csv->write(matchCsvLine(r, labels)) < 0;
        if (keepRows)
            kept.push_back(r);
        if (r.failure != FailureKind::None && firstFailures[size_t(r.controller)].size() < failuresListed)
            firstFailures[size_t(r.controller)] << failureLine(failureRow(r));
    }
    WinTable &seed = bySeed.emplace(rows.empty() ? 0 : rows.front().seed, emptyTable(labels.size())).first->second;
    for (const MatchRow &a : rows)
        for (const MatchRow &b : rows)
            if (a.controller != b.controller && a.rank < b.rank) {
                ++aheadOf[size_t(a.controller)][size_t(b.controller)];
                ++seed[size_t(a.controller)][size_t(b.controller)];
            }
}

std::vector<RatingInterval> MatchResults::ratings() const
{
    std::vector<WinTable> tables;
    for (const auto &entry : bySeed)
        tables.push_back(entry.second);
    return ratingsWithIntervals(tables);
}

bool MatchResults::anyFailure() const
{
    return std::any_of(perController.begin(), perController.end(), [](const Tally &t) { return t.failed > 0; });
}

QString MatchResults::table(const ArenaSettings &settings, double exchangeNs) const
{
    const SeedRange range = settings.played();
    const int k = labels.size();
    QString text;
    QTextStream out(&text);
    out << "Match of " << k << " controllers: seeds " << range.first << " to "
        << range.first + unsigned(range.games) - 1;
    if (settings.shards > 1)
        out << " (shard " << settings.shard << " of " << settings.shards << " of seeds " << settings.firstSeed << " to "
            << settings.firstSeed + unsigned(settings.games) - 1 << ")";
    out << ", each played " << k << " times with the seats rotated\n";
    for (const QString &n : notes)
        out << "WARNING: " << n << "\n";
    const std::vector<RatingInterval> rated = ratings();
    std::vector<int> order(static_cast<size_t>(k));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return rated[size_t(a)].rating > rated[size_t(b)].rating; });
    out << "\n  rating [95%]            placement [95%]        survived [95%]             final radius [95%]       "
           "failed  controller\n";
    for (int c : order) {
        const Tally &t = perController[size_t(c)];
        const RatingInterval &r = rated[size_t(c)];
        out << "  "
            << QStringLiteral("%1 [%2, %3]")
                   .arg(fixedText(r.rating, 2), fixedText(r.low, 2), fixedText(r.high, 2))
                   .leftJustified(23)
            << " " << intervalText(t.rank(), 2).leftJustified(22) << " "
            << intervalText(t.survival(), 1, 100).leftJustified(26) << " "
            << intervalText(t.radius(), 1).leftJustified(24) << " " << QString::number(t.failed).leftJustified(7) << " "
            << labels[c] << "\n";
    }
    for (int c = 0; c < k; ++c) {
        for (const QString &line : firstFailures[size_t(c)])
            out << "  FAILED  " << labels[c] << ": " << line << "\n";
        if (perController[size_t(c)].failed > firstFailures[size_t(c)].size())
            out << "  FAILED  " << labels[c] << ": and "
                << perController[size_t(c)].failed - firstFailures[size_t(c)].size()
                << " more (the rows list them all)\n";
    }
    out << "\nHead to head, on the same seeds and seatings (finished ahead; exact sign test):\n";
    for (int a = 0; a < k; ++a)
        for (int b = a + 1; b < k; ++b) {
            const long long x = aheadOf[size_t(a)][size_t(b)], y = aheadOf[size_t(b)][size_t(a)];
            const double p = mcnemarExactP(x, y);
            out << "  " << labels[a] << " " << x << " - " << y << " " << labels[b] << ", p "
                << (p < 0.0001 ? QStringLiteral("< 0.0001") : QString::number(p, 'g', 3)) << "\n";
        }
    if (exchangeNs > 0)
        out << "\nA referee's question and answer took " << fixedText(exchangeNs / 1000.0, 2) << " us on average.\n";
    out.flush();
    return text;
}

QByteArray MatchResults::json(const ArenaSettings &settings) const
{
    const std::vector<RatingInterval> rated = ratings();
    QJsonArray controllers;
    for (int c = 0; c < labels.size(); ++c) {
        const Tally &t = perController[size_t(c)];
        QJsonArray seats;
        for (long long s : t.seats)
            seats.append(double(s));
        controllers.append(QJsonObject{{QStringLiteral("controller"), labels[c]},
                                       {QStringLiteral("file"), files[c]},
                                       {QStringLiteral("sha256"), hashes[c]},
                                       {QStringLiteral("games"), double(t.games)},
                                       {QStringLiteral("rating"), rated[size_t(c)].rating},
                                       {QStringLiteral("rating_low"), rated[size_t(c)].low},
                                       {QStringLiteral("rating_high"), rated[size_t(c)].high},
                                       {QStringLiteral("mean_rank"), t.rank().estimate},
                                       {QStringLiteral("survival"), t.survival().estimate},
                                       {QStringLiteral("mean_final_radius"), t.radius().estimate},
                                       {QStringLiteral("failed"), double(t.failed)},
                                       {QStringLiteral("games_by_seat"), seats}});
    }
    QJsonArray ahead;
    for (const auto &row : aheadOf) {
        QJsonArray r;
        for (long long v : row)
            r.append(double(v));
        ahead.append(r);
    }
    // The settings as an evaluation's JSON gives them, so that merge reads
    // and checks them alike.
    QJsonObject root = settingsJson(settings);
    root.insert(QStringLiteral("kind"), QStringLiteral("match"));
    root.insert(QStringLiteral("controllers"), controllers);
    root.insert(QStringLiteral("ahead"), ahead);
    if (keepRows) {
        QJsonArray rows;
        for (const MatchRow &r : kept)
            rows.append(matchRowJson(r, labels));
        root.insert(QStringLiteral("rows"), rows);
    }
    return QJsonDocument(root).toJson();
}
