#include "arena/game_row_fields.h"

#include "arena/row_text.h"

#include <QJsonValue>

#include <climits>
#include <string_view>

namespace {

// A whole number in [low, high]; empty text is 0, a value the row does not
// have.
template <typename T>
bool readNumber(const QString &text, long long low, long long high, T &field)
{
    if (text.isEmpty()) {
        field = T(0);
        return true;
    }
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return false;
    field = T(value);
    return true;
}

QString number(long long value)
{
    return QString::number(value);
}

// A finished game's column: empty for a failed one.
QString ifPlayed(const GameRow &row, long long value)
{
    return row.failed() ? QString() : number(value);
}

bool readEnd(const QString &text, GameRow &row)
{
    const QByteArray name = text.toUtf8();
    return parseGameEnd(std::string_view(name.constData(), size_t(name.size())), row);
}

bool readCause(const QString &text, GameRow &row)
{
    row.deathCause = -1;
    row.deathOther = -1;
    return text.isEmpty() || parseDeathCause(text, row.deathCause, row.deathOther);
}

} // namespace

// In the CSV's order. `outcome` comes before what depends on it: a failed
// game has a failure code and no final radius, rank or opponents.
const GameRowField gameRowFields[] = {
    {"seed", GameRowField::Number, true, true, [](const GameRow &r) { return number(r.seed); },
     [](const QString &t, GameRow &r) { return !t.isEmpty() && readNumber(t, 1, UINT_MAX, r.seed); }},
    {"outcome", GameRowField::Text, true, true, [](const GameRow &r) { return QString::fromLatin1(gameEndName(r)); },
     readEnd},
    {"steps", GameRowField::Number, true, true, [](const GameRow &r) { return number(r.steps); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.steps); }},
    {"agent0_survived", GameRowField::Flag, true, true,
     [](const GameRow &r) { return number(r.agent0Survived() ? 1 : 0); }, nullptr},
    {"agent0_radius", GameRowField::Number, true, true, [](const GameRow &r) { return ifPlayed(r, r.agent0Radius); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.agent0Radius); }},
    {"agent0_rank", GameRowField::Number, true, true, [](const GameRow &r) { return ifPlayed(r, r.agent0Rank); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.agent0Rank); }},
    {"opponents_alive", GameRowField::Number, true, true,
     [](const GameRow &r) { return ifPlayed(r, r.opponentsAlive); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.opponentsAlive); }},
    {"failure", GameRowField::QuotedText, true, true, failureReason, nullptr},
    {"failure_code", GameRowField::Number, false, true,
     [](const GameRow &r) { return r.failed() ? number(r.failureCode) : QString(); },
     [](const QString &t, GameRow &r) { return readNumber(t, INT_MIN, INT_MAX, r.failureCode); }},
    {"death_step", GameRowField::Number, true, true,
     [](const GameRow &r) { return r.deathStep > 0 ? number(r.deathStep) : QString(); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.deathStep); }},
    {"death_cause", GameRowField::Text, true, true, deathCauseText, readCause},
    {"wall_loss", GameRowField::Number, true, true, [](const GameRow &r) { return number(r.wallLoss); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.wallLoss); }},
    {"contest_loss", GameRowField::Number, true, true, [](const GameRow &r) { return number(r.contestLoss); },
     [](const QString &t, GameRow &r) { return readNumber(t, 0, INT_MAX, r.contestLoss); }},
};
const int gameRowFieldCount = int(sizeof gameRowFields / sizeof gameRowFields[0]);

namespace {

QByteArray quoted(const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return "\"" + inner.toUtf8() + "\"";
}

QJsonValue jsonValue(const GameRowField &field, const QString &text)
{
    switch (field.kind) {
    case GameRowField::Number: return qint64(text.toLongLong());
    case GameRowField::Flag: return text == QLatin1String("1");
    default: return text;
    }
}

QString textOf(const GameRowField &field, const QJsonValue &value, bool &typed)
{
    typed = true;
    if (value.isUndefined())
        return QString();
    if (field.kind == GameRowField::Number) {
        typed = value.isDouble() && value.toDouble() == double(value.toVariant().toLongLong());
        return QString::number(value.toVariant().toLongLong());
    }
    if (field.kind == GameRowField::Flag) {
        typed = value.isBool();
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    }
    typed = value.isString();
    return value.toString();
}

} // namespace

QByteArray csvHeader()
{
    QByteArray line = "controller";
    for (const GameRowField &field : gameRowFields)
        if (field.inCsv)
            line += QByteArray(",") + field.name;
    return line + ",replay\n";
}

QByteArray csvRow(const QString &controller, const GameRow &row, const QString &replay)
{
    QByteArray line = quoted(controller);
    for (const GameRowField &field : gameRowFields) {
        if (!field.inCsv)
            continue;
        const QString text = field.write(row);
        line += ',' + (field.kind == GameRowField::QuotedText && !text.isEmpty() ? quoted(text) : text.toUtf8());
    }
    return line + ',' + replay.toUtf8() + '\n';
}

QJsonObject gameRowJson(const GameRow &row, const QString &replay)
{
    QJsonObject object;
    for (const GameRowField &field : gameRowFields) {
        const QString text = field.write(row);
        if (field.inJson && !text.isEmpty())
            object.insert(QString::fromLatin1(field.name), jsonValue(field, text));
    }
    if (!replay.isEmpty())
        object.insert(QStringLiteral("replay"), replay);
    return object;
}

bool readGameRowJson(const QJsonObject &object, GameRow &row)
{
    row = GameRow();
    for (const GameRowField &field : gameRowFields) {
        bool typed = false;
        const QString text = textOf(field, object.value(QString::fromLatin1(field.name)), typed);
        if (!typed || (field.read && !field.read(text, row)))
            return false;
    }
    row.replayed = object.contains(QStringLiteral("replay")) ? 1 : 0;
    // What follows from the other columns must say what they give.
    for (const GameRowField &field : gameRowFields) {
        bool typed = false;
        if (!field.read && textOf(field, object.value(QString::fromLatin1(field.name)), typed) != field.write(row))
            return false;
    }
    return true;
}
