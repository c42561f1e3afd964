#include "replay.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <string>

namespace {

// A replay of a long game is a few megabytes; anything that inflates to more
// than this is not one.
constexpr size_t maxInflatedBytes = size_t(512) << 20;

// The text of a replay is most of the cost of writing one: numbers go
// straight into a buffer.
class Text
{
public:
    void reserve(size_t bytes) { buffer.reserve(bytes); }
    void add(const char *text) { buffer.append(text); }
    void add(char c) { buffer.push_back(c); }
    void add(long long number)
    {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        buffer.append(digits, size_t(end - digits));
    }
    const std::string &data() const { return buffer; }

private:
    std::string buffer;
};

template <size_t N>
void appendArray(Text &out, const char *key, const std::array<int32_t, N> &values)
{
    out.add(",\"");
    out.add(key);
    out.add("\":[");
    for (size_t i = 0; i < N; ++i) {
        if (i)
            out.add(',');
        out.add((long long)values[i]);
    }
    out.add(']');
}

// The fastest level: replays are written while games are played, and the
// text repeats so much that it still packs about tenfold.
QByteArray gzip(const std::string &plain)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray out;
    out.resize(int(deflateBound(&stream, uLong(plain.size()))) + 64);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.data()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

bool gunzip(const QByteArray &packed, QByteArray &plain, QString &error)
{
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) {
        error = QStringLiteral("cannot start decompressing");
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
    stream.avail_in = uInt(packed.size());
    plain.clear();
    char chunk[1 << 16];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            break;
        plain.append(chunk, int(sizeof chunk - stream.avail_out));
        if (size_t(plain.size()) > maxInflatedBytes) {
            result = Z_DATA_ERROR;
            break;
        }
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            result = Z_BUF_ERROR; // the input ended inside the stream
            break;
        }
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        error = result == Z_BUF_ERROR ? QStringLiteral("the file is truncated")
                                      : QStringLiteral("the file is damaged (not gzip data, or corrupt)");
        return false;
    }
    return true;
}

template <size_t N>
bool readArray(const QJsonObject &o, const char *key, std::array<int32_t, N> &values)
{
    const QJsonValue value = o.value(QLatin1String(key));
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    if (size_t(array.size()) != N)
        return false;
    for (size_t i = 0; i < N; ++i) {
        const QJsonValue v = array[int(i)];
        const double d = v.toDouble(0.5);
        if (!v.isDouble() || d != double(int32_t(d)))
            return false;
        values[i] = int32_t(d);
    }
    return true;
}

bool wholeNumber(const QJsonObject &o, const char *key, long long low, long long high, long long &out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble(-1e300);
    if (!v.isDouble() || d < double(low) || d > double(high) || d != double((long long)d))
        return false;
    out = (long long)d;
    return true;
}

} // namespace

const char *causeName(RadiusChange::Cause cause)
{
    switch (cause) {
    case RadiusChange::Wall: return "wall";
    case RadiusChange::Contest: return "contest";
    case RadiusChange::Meal: return "meal";
    }
    return "unknown";
}

std::array<int, replayAgents> Replay::deathSteps() const
{
    std::array<int, replayAgents> deaths{};
    for (size_t f = 1; f < frames.size(); ++f)
        for (int a = 0; a < replayAgents; ++a)
            if (deaths[size_t(a)] == 0 && frames[f].radius[size_t(a)] <= 0 && frames[f - 1].radius[size_t(a)] > 0)
                deaths[size_t(a)] = frames[f].step;
    return deaths;
}

QByteArray encodeReplay(const Replay &replay)
{
    const ReplayHeader &h = replay.header;
    QJsonObject header{{QStringLiteral("format"), QStringLiteral("pelloria-replay")},
                       {QStringLiteral("version"), h.version},
                       {QStringLiteral("program"), h.program},
                       {QStringLiteral("seed"), qint64(h.seed)},
                       {QStringLiteral("controller"), h.controller},
                       {QStringLiteral("controller_sha256"), h.sha256},
                       {QStringLiteral("max_steps"), h.maxSteps},
                       {QStringLiteral("outcome"), h.outcome},
                       {QStringLiteral("steps"), h.steps},
                       {QStringLiteral("failed_at_step"), h.failedAtStep},
                       {QStringLiteral("agents"), replayAgents},
                       {QStringLiteral("circles"), replayCircles}};
    Text plain;
    plain.reserve(replay.frames.size() * 420 + 512);
    plain.add(QJsonDocument(header).toJson(QJsonDocument::Compact).constData());
    plain.add('\n');
    for (const ReplayFrame &f : replay.frames) {
        plain.add("{\"step\":");
        plain.add((long long)f.step);
        appendArray(plain, "r", f.radius);
        appendArray(plain, "x", f.x);
        appendArray(plain, "y", f.y);
        appendArray(plain, "vx", f.vx);
        appendArray(plain, "vy", f.vy);
        appendArray(plain, "a", f.action);
        plain.add(",\"agent0\":[");
        for (size_t c = 0; c < f.changes.size(); ++c) {
            const RadiusChange &change = f.changes[c];
            plain.add(c ? ",[\"" : "[\"");
            plain.add(causeName(change.cause));
            plain.add("\",");
            plain.add((long long)change.other);
            plain.add(',');
            plain.add((long long)change.delta);
            plain.add(']');
        }
        plain.add("]}\n");
    }
    return gzip(plain.data());
}

bool decodeReplay(const QByteArray &file, Replay &replay, QString &error)
{
    QByteArray plain;
    if (!gunzip(file, plain, error))
        return false;
    const QList<QByteArray> lines = plain.split('\n');
    QJsonParseError parseError{};
    const QJsonObject header = QJsonDocument::fromJson(lines.value(0), &parseError).object();
    if (header.value(QStringLiteral("format")).toString() != QLatin1String("pelloria-replay")) {
        error = QStringLiteral("not a Pelloria replay");
        return false;
    }
    long long version = 0, seed = 0, maxSteps = 0, steps = 0, failedAt = 0;
    if (!wholeNumber(header, "version", 0, INT32_MAX, version) || version != replayFormatVersion) {
        error = QStringLiteral("replay format version %1; this program reads version %2")
                    .arg(header.value(QStringLiteral("version")).toVariant().toString())
                    .arg(replayFormatVersion);
        return false;
    }
    if (!wholeNumber(header, "seed", 0, UINT32_MAX, seed) || !wholeNumber(header, "max_steps", 1, INT32_MAX, maxSteps)
        || !wholeNumber(header, "steps", 0, maxSteps, steps) || !wholeNumber(header, "failed_at_step", 0, INT32_MAX, failedAt)
        || header.value(QStringLiteral("agents")).toInt() != replayAgents
        || header.value(QStringLiteral("circles")).toInt() != replayCircles) {
        error = QStringLiteral("the replay's header is damaged");
        return false;
    }
    Replay read;
    ReplayHeader &h = read.header;
    h.program = header.value(QStringLiteral("program")).toString();
    h.seed = uint32_t(seed);
    h.controller = header.value(QStringLiteral("controller")).toString();
    h.sha256 = header.value(QStringLiteral("controller_sha256")).toString();
    h.maxSteps = int(maxSteps);
    h.outcome = header.value(QStringLiteral("outcome")).toString();
    h.steps = int(steps);
    h.failedAtStep = int(failedAt);
    // Frames 0..steps, one a line, then nothing but an empty last line.
    if (lines.size() != int(steps) + 3 || !lines.last().isEmpty()) {
        error = QStringLiteral("the replay holds %1 lines of steps, its header says %2").arg(lines.size() - 2).arg(steps + 1);
        return false;
    }
    read.frames.resize(size_t(steps) + 1);
    for (long long s = 0; s <= steps; ++s) {
        const QJsonObject o = QJsonDocument::fromJson(lines[int(s) + 1], &parseError).object();
        ReplayFrame &f = read.frames[size_t(s)];
        long long step = -1;
        if (!wholeNumber(o, "step", 0, steps, step) || step != s || !readArray(o, "r", f.radius)
            || !readArray(o, "x", f.x) || !readArray(o, "y", f.y) || !readArray(o, "vx", f.vx)
            || !readArray(o, "vy", f.vy) || !readArray(o, "a", f.action) || !o.value(QStringLiteral("agent0")).isArray()) {
            error = QStringLiteral("step %1 of the replay is damaged").arg(s);
            return false;
        }
        f.step = int(step);
        for (const auto &c : o.value(QStringLiteral("agent0")).toArray()) {
            const QJsonArray change = c.toArray();
            const QString cause = change.at(0).toString();
            RadiusChange rc;
            rc.cause = cause == QLatin1String("wall")      ? RadiusChange::Wall
                : cause == QLatin1String("contest")        ? RadiusChange::Contest
                : cause == QLatin1String("meal")           ? RadiusChange::Meal
                                                           : RadiusChange::Cause(-1);
            if (change.size() != 3 || rc.cause == RadiusChange::Cause(-1) || !change.at(1).isDouble()
                || !change.at(2).isDouble()) {
                error = QStringLiteral("step %1 of the replay has a damaged cause").arg(s);
                return false;
            }
            rc.other = int32_t(change.at(1).toInt());
            rc.delta = int32_t(change.at(2).toInt());
            f.changes.push_back(rc);
        }
    }
    replay = std::move(read);
    return true;
}

bool writeReplay(const QString &path, const Replay &replay, QString &error)
{
    const QByteArray data = encodeReplay(replay);
    QSaveFile file(path);
    if (data.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool readReplay(const QString &path, Replay &replay, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!decodeReplay(file.readAll(), replay, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return true;
}

void showFrame(const ReplayFrame &frame, Ball_engine &engine)
{
    std::copy(frame.radius.begin(), frame.radius.end(), engine.getCircleRadius());
    std::copy(frame.x.begin(), frame.x.end(), engine.getXCoordinate());
    std::copy(frame.y.begin(), frame.y.end(), engine.getYCoordinate());
    std::copy(frame.vx.begin(), frame.vx.end(), engine.getXVelocity());
    std::copy(frame.vy.begin(), frame.vy.end(), engine.getYVelocity());
    std::copy(frame.action.begin(), frame.action.end(), engine.getActions());
    for (int i = 0; i < replayAgents; ++i)
        engine.decodeAction(size_t(i)); // the painter points each agent where it accelerates
}
