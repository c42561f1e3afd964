#include "arena/match_rows.h"

#include "arena/row_text.h"

#include <QJsonValue>

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

QString blankZero(long long value)
{
    return value != 0 ? QString::number(value) : QString();
}

// Digits within [low, high]; empty text is 0 where `blank` allows it.
bool readWhole(const QString &text, long long low, long long high, bool blank, long long &value)
{
    if (text.isEmpty()) {
        value = 0;
        return blank;
    }
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && !text.startsWith(QLatin1Char('+')) && value >= low && value <= high;
}

template <typename T>
bool readInto(const QString &text, long long low, long long high, bool blank, T &field)
{
    long long value = 0;
    if (!readWhole(text, low, high, blank, value))
        return false;
    field = T(value);
    return true;
}

// The row's failure and death as the arena's rows word them.
GameRow wordsOf(const MatchRow &r)
{
    GameRow g = failureRow(r);
    g.deathCause = r.deathCause;
    g.deathOther = r.deathOther;
    return g;
}

QString outcomeText(const MatchRow &r, const QStringList &)
{
    return QString::fromLatin1(gameOutcomeName(r.outcome));
}

bool readOutcome(const QString &text, MatchRow &r)
{
    GameRow g;
    const QByteArray name = text.toUtf8();
    if (!parseGameEnd(std::string_view(name.constData(), size_t(name.size())), g) || g.failed())
        return false;
    r.outcome = g.outcome;
    return true;
}

QString failureText(const MatchRow &r, const QStringList &)
{
    return r.failure == FailureKind::None ? QString() : QString::fromLatin1(gameEndName(wordsOf(r)));
}

bool readFailure(const QString &text, MatchRow &r)
{
    if (text.isEmpty()) {
        r.failure = FailureKind::None;
        return true;
    }
    GameRow g;
    const QByteArray name = text.toUtf8();
    if (!parseGameEnd(std::string_view(name.constData(), size_t(name.size())), g) || !g.failed())
        return false;
    r.failure = g.failure;
    return true;
}

bool readDeathCause(const QString &text, MatchRow &r)
{
    int32_t cause = -1, other = -1;
    if (!text.isEmpty() && !parseDeathCause(text, cause, other))
        return false;
    r.deathCause = cause;
    r.deathOther = other;
    return true;
}

// Whatever it says is checked against what the row gives (readMatchRow).
bool derived(const QString &, MatchRow &)
{
    return true;
}

} // namespace

const MatchField matchFields[] = {
    {"controller", false,
     [](const MatchRow &r, const QStringList &labels) {
         return r.controller >= 0 && r.controller < labels.size() ? labels[r.controller] : QString();
     },
     derived},
    {"seed", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.seed); },
     [](const QString &t, MatchRow &r) { return readInto(t, 1, UINT_MAX, false, r.seed); }},
    {"rotation", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.rotation); },
     [](const QString &t, MatchRow &r) { return readInto(t, 0, rules::agentsPerGame - 1, false, r.rotation); }},
    {"agent", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.agent); },
     [](const QString &t, MatchRow &r) { return readInto(t, 0, rules::agentsPerGame - 1, false, r.agent); }},
    {"outcome", false, outcomeText, readOutcome},
    {"steps", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.steps); },
     [](const QString &t, MatchRow &r) { return readInto(t, 0, INT_MAX, false, r.steps); }},
    {"rank", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.rank); },
     [](const QString &t, MatchRow &r) { return readInto(t, 1, rules::agentsPerGame, false, r.rank); }},
    {"radius", true, [](const MatchRow &r, const QStringList &) { return QString::number(r.radius); },
     [](const QString &t, MatchRow &r) { return readInto(t, 0, INT_MAX, false, r.radius); }},
    {"death_step", true, [](const MatchRow &r, const QStringList &) { return blankZero(r.deathStep); },
     [](const QString &t, MatchRow &r) { return readInto(t, 1, INT_MAX, true, r.deathStep); }},
    {"death_cause", false, [](const MatchRow &r, const QStringList &) { return deathCauseText(wordsOf(r)); },
     readDeathCause},
    {"failure", false, failureText, readFailure},
    {"failure_code", true, [](const MatchRow &r, const QStringList &) { return blankZero(r.failureCode); },
     [](const QString &t, MatchRow &r) { return readInto(t, INT_MIN, INT_MAX, true, r.failureCode); }},
    {"failed_at", true, [](const MatchRow &r, const QStringList &) { return blankZero(r.failedAt); },
     [](const QString &t, MatchRow &r) { return readInto(t, 1, INT_MAX, true, r.failedAt); }},
    {"failure_reason", false, [](const MatchRow &r, const QStringList &) { return failureReason(wordsOf(r)); },
     derived},
    {"replay", false,
     [](const MatchRow &r, const QStringList &) {
         return r.replayed ? matchReplayFileName(r.seed, r.rotation) : QString();
     },
     [](const QString &t, MatchRow &r) {
         r.replayed = t.isEmpty() ? 0 : 1;
         return true;
     }},
};

const int matchFieldCount = int(sizeof matchFields / sizeof matchFields[0]);

QByteArray matchCsvHeader()
{
    QByteArray line;
    for (const MatchField &field : matchFields)
        line += QByteArray(line.isEmpty() ? "" : ",") + field.name;
    return line + '\n';
}

QByteArray matchCsvLine(const MatchRow &row, const QStringList &labels)
{
    QByteArray line;
    for (int f = 0; f < matchFieldCount; ++f) {
        QString text = matchFields[f].write(row, labels);
        // A label may hold commas and quotes; words hold spaces.
        const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
            return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char(' ') || c == QLatin1Char('\n');
        });
        if (!plain)
            text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        line += (f > 0 ? "," : "") + text.toUtf8();
    }
    return line + '\n';
}

QJsonObject matchRowJson(const MatchRow &row, const QStringList &labels)
{
    QJsonObject object;
    for (const MatchField &field : matchFields) {
        const QString text = field.write(row, labels);
        if (text.isEmpty())
            continue;
        object.insert(QLatin1String(field.name), field.number ? QJsonValue(text.toDouble()) : QJsonValue(text));
    }
    return object;
}

bool readMatchRow(const QJsonObject &object, const QStringList &labels, MatchRow &row)
{
    MatchRow read;
    for (const MatchField &field : matchFields) {
        const QJsonValue value = object.value(QLatin1String(field.name));
        QString text;
        if (field.number && value.isDouble())
            text = QString::number(value.toDouble(), 'f', 0);
        else if (!field.number && value.isString())
            text = value.toString();
        else if (!value.isUndefined())
            return false;
        if (!field.read(text, read))
            return false;
    }
    const int seats = int(labels.size());
    if (read.agent >= seats || read.rotation >= seats)
        return false;
    read.controller = (read.agent + read.rotation) % seats;
    // Written again, it must be what was read: a label out of its seat, a
    // reason that is not its failure's, or a key the writer never writes is
    // damage.
    if (matchRowJson(read, labels) != object)
        return false;
    row = read;
    return true;
}
