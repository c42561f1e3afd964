#include "replay/replay.h"

#include "engine/game_rules.h"
#include "engine/separate_generators.h"
#include "replay/recorder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// A replay of a long game is a few megabytes; anything that inflates to more
// than this is not one.
constexpr size_t maxInflatedBytes = size_t(512) << 20;

// Reads frames back with every bound checked: a damaged file must give an
// error, never a read past its end or a value out of range.
class ByteReader
{
public:
    ByteReader(const char *data, size_t size) : p(reinterpret_cast<const unsigned char *>(data)), end(p + size) { }
    bool atEnd() const { return p == end; }
    bool byte(unsigned &value)
    {
        if (p == end)
            return false;
        value = *p++;
        return true;
    }
    bool varint(uint64_t &value)
    {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            unsigned b = 0;
            if (!byte(b))
                return false;
            value |= uint64_t(b & 0x7fu) << shift;
            if (b < 0x80)
                return true;
        }
        return false;
    }
    bool signedVarint(int64_t &value)
    {
        uint64_t u = 0;
        if (!varint(u))
            return false;
        value = int64_t(u >> 1) ^ -int64_t(u & 1);
        return true;
    }

private:
    const unsigned char *p;
    const unsigned char *end;
};

template <size_t N, size_t V = 0>
bool readChanges(ByteReader &in, bool listed, std::array<int32_t, N> &values,
                 const std::array<int32_t, V> *velocity = nullptr)
{
    unsigned low = 0, high = 0;
    if (listed && (!in.byte(low) || !in.byte(high)))
        return false;
    const unsigned mask = low | (high << 8);
    if ((mask >> N) != 0 || (listed && mask == 0))
        return false;
    for (size_t i = 0; i < N; ++i) {
        int64_t difference = 0;
        if (mask & (1u << i)) {
            if (!in.signedVarint(difference) || difference == 0 || difference > int64_t(UINT32_MAX) * 2
                || difference < -int64_t(UINT32_MAX) * 2)
                return false;
        }
        const int64_t value = int64_t(values[i]) + (velocity && i < V ? (*velocity)[i] : 0) + difference;
        if (value < INT32_MIN || value > INT32_MAX)
            return false;
        values[i] = int32_t(value);
    }
    return true;
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
    FrameWriter frames;
    for (const ReplayFrame &f : replay.frames)
        frames.add(f);
    const std::string plain = unpackedReplay(replay.header, frames.data(), frames.size());
    ReplayPacker packer;
    return packer.pack(plain.data(), plain.size());
}

namespace {

QJsonArray seatsJson(const std::vector<ReplaySeat> &seats)
{
    QJsonArray array;
    for (const ReplaySeat &s : seats) {
        QJsonObject seat{{QStringLiteral("agent"), s.agent},
                         {QStringLiteral("controller"), s.controller},
                         {QStringLiteral("controller_sha256"), s.sha256}};
        if (!s.failure.isEmpty()) {
            seat.insert(QStringLiteral("failed_at_step"), s.failedAtStep);
            seat.insert(QStringLiteral("failure"), s.failure);
        }
        array.append(seat);
    }
    return array;
}

// The seats of a match's replay: each a different agent; none in a replay
// of one controller, or of a version that had no matches.
bool readSeats(const QJsonObject &header, std::vector<ReplaySeat> &seats)
{
    const QJsonValue value = header.value(QStringLiteral("seats"));
    if (value.isUndefined())
        return true;
    if (!value.isArray() || value.toArray().size() > replayAgents)
        return false;
    std::array<bool, replayAgents> taken{};
    for (const auto &entry : value.toArray()) {
        const QJsonObject o = entry.toObject();
        long long agent = -1, failedAt = 0;
        if (!wholeNumber(o, "agent", 0, replayAgents - 1, agent) || taken[size_t(agent)]
            || !o.value(QStringLiteral("controller")).isString()
            || (o.contains(QStringLiteral("failed_at_step"))
                && !wholeNumber(o, "failed_at_step", 0, INT32_MAX, failedAt)))
            return false;
        taken[size_t(agent)] = true;
        seats.push_back(ReplaySeat{int(agent), o.value(QStringLiteral("controller")).toString(),
                                   o.value(QStringLiteral("controller_sha256")).toString(), int(failedAt),
                                   o.value(QStringLiteral("failure")).toString()});
    }
    return true;
}

} // namespace

namespace {

// The header's numbers and words: one table that the writer and the reader
// share, so that every value is written under one name and read from it.
// "steps" is also checked against "max_steps" once both are read.
struct HeaderNumber {
    const char *key;
    long long low, high;
    long long (*get)(const ReplayHeader &h);
    void (*set)(ReplayHeader &h, long long value);
};
const HeaderNumber headerNumbers[] = {
    {"seed", 0, UINT32_MAX, [](const ReplayHeader &h) { return (long long)h.seed; },
     [](ReplayHeader &h, long long v) { h.seed = uint32_t(v); }},
    {"max_steps", 1, INT32_MAX, [](const ReplayHeader &h) { return (long long)h.maxSteps; },
     [](ReplayHeader &h, long long v) { h.maxSteps = int(v); }},
    {"steps", 0, INT32_MAX - 2, [](const ReplayHeader &h) { return (long long)h.steps; },
     [](ReplayHeader &h, long long v) { h.steps = int(v); }},
    {"failed_at_step", 0, INT32_MAX, [](const ReplayHeader &h) { return (long long)h.failedAtStep; },
     [](ReplayHeader &h, long long v) { h.failedAtStep = int(v); }},
};
struct HeaderText {
    const char *key;
    QString ReplayHeader::*field;
};
const HeaderText headerTexts[] = {{"program", &ReplayHeader::program},
                                  {"controller", &ReplayHeader::controller},
                                  {"controller_sha256", &ReplayHeader::sha256},
                                  {"outcome", &ReplayHeader::outcome}};

// The header's values from its JSON; false for a number out of its range
// or more steps than the game allowed. Words may be absent, as in files of
// programs that wrote fewer.
bool readHeaderValues(const QJsonObject &o, ReplayHeader &h)
{
    for (const HeaderNumber &n : headerNumbers) {
        long long value = 0;
        if (!wholeNumber(o, n.key, n.low, n.high, value))
            return false;
        n.set(h, value);
    }
    for (const HeaderText &t : headerTexts)
        h.*t.field = o.value(QLatin1String(t.key)).toString();
    return h.steps <= h.maxSteps && o.value(QStringLiteral("agents")).toInt() == replayAgents
        && o.value(QStringLiteral("circles")).toInt() == replayCircles;
}

} // namespace

std::string replayHeaderLine(const ReplayHeader &h)
{
    QJsonObject header{{QStringLiteral("format"), QStringLiteral("pelloria-replay")},
                       {QStringLiteral("version"), h.version},
                       {QStringLiteral("agents"), replayAgents},
                       {QStringLiteral("circles"), replayCircles}};
    for (const HeaderNumber &n : headerNumbers)
        header.insert(QLatin1String(n.key), qint64(n.get(h)));
    for (const HeaderText &t : headerTexts)
        header.insert(QLatin1String(t.key), h.*t.field);
    if (!h.seats.empty())
        header.insert(QStringLiteral("seats"), seatsJson(h.seats));
    return QJsonDocument(header).toJson(QJsonDocument::Compact).toStdString() + '\n';
}

std::string unpackedReplay(const ReplayHeader &header, const char *frames, size_t size)
{
    std::string plain = replayHeaderLine(header);
    plain.append(frames, size);
    return plain;
}

// Replays are written while games are played, so packing must cost little.
// The frames' differences from pure motion are already some 25 bytes a
// step, and deflate would take longer than the game to pack them by a third:
// the gzip container is kept for its check of every byte and for readers,
// and the data is stored as it is.
struct ReplayPacker::State {
    z_stream stream{};
    bool ready = false;
};

ReplayPacker::ReplayPacker() : state(new State)
{
    state->ready = deflateInit2(&state->stream, Z_NO_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

ReplayPacker::~ReplayPacker()
{
    if (state->ready)
        deflateEnd(&state->stream);
    delete state;
}

QByteArray ReplayPacker::pack(const char *data, size_t size)
{
    z_stream &stream = state->stream;
    if (!state->ready || deflateReset(&stream) != Z_OK || size > size_t(INT32_MAX) / 2)
        return QByteArray();
    QByteArray out;
    out.resize(int(deflateBound(&stream, uLong(size))) + 64);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    stream.avail_in = uInt(size);
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    return result == Z_STREAM_END ? out : QByteArray();
}

namespace {

// The smallest frame: which arrays are listed, and a count of changes.
constexpr int smallestFrameBytes = 2;
// Agent 0 changes at most 16 times a step (a wall, nine contests, five
// meals, and one more); a count beyond this is damage.
constexpr uint64_t mostChangesPerStep = 64;

bool causeOf(long long code, RadiusChange::Cause &cause)
{
    if (code < RadiusChange::Wall || code > RadiusChange::Meal)
        return false;
    cause = RadiusChange::Cause(code);
    return true;
}

// Version 2: every frame as its differences from the one before.
bool readFrameChanges(const QByteArray &body, int steps, std::vector<ReplayFrame> &frames, QString &error)
{
    if (body.size() / smallestFrameBytes < steps + 1) {
        error = QStringLiteral("the replay holds fewer steps than its header says (%1)").arg(steps + 1);
        return false;
    }
    ByteReader in(body.constData(), size_t(body.size()));
    frames.resize(size_t(steps) + 1);
    ReplayFrame current;
    for (int s = 0; s <= steps; ++s) {
        current.step = s;
        current.changes.clear();
        uint64_t count = 0;
        unsigned listed = 0;
        if (!in.byte(listed) || listed >= 1u << 6 || !readChanges(in, listed & 1u, current.radius)
            || !readChanges(in, listed & 2u, current.vx) || !readChanges(in, listed & 4u, current.vy)
            || !readChanges(in, listed & 8u, current.action) || !readChanges(in, listed & 16u, current.x, &current.vx)
            || !readChanges(in, listed & 32u, current.y, &current.vy) || !in.varint(count)
            || count > mostChangesPerStep) {
            error = QStringLiteral("step %1 of the replay is damaged").arg(s);
            return false;
        }
        for (uint64_t c = 0; c < count; ++c) {
            uint64_t code = 0;
            int64_t other = 0, delta = 0;
            RadiusChange change;
            if (!in.varint(code) || !causeOf((long long)std::min<uint64_t>(code, 99), change.cause)
                || !in.signedVarint(other) || !in.signedVarint(delta) || other < INT32_MIN || other > INT32_MAX
                || delta < INT32_MIN || delta > INT32_MAX) {
                error = QStringLiteral("step %1 of the replay has a damaged cause").arg(s);
                return false;
            }
            change.other = int32_t(other);
            change.delta = int32_t(delta);
            current.changes.push_back(change);
        }
        frames[size_t(s)] = current;
    }
    if (!in.atEnd()) {
        error = QStringLiteral("the replay holds more than the %1 steps its header says").arg(steps + 1);
        return false;
    }
    return true;
}

// Version 1: a line of JSON for every frame, each frame whole.
bool readFrameLines(const QByteArray &body, int steps, std::vector<ReplayFrame> &frames, QString &error)
{
    const QList<QByteArray> lines = body.split('\n');
    // Frames 0..steps, one a line, then nothing but an empty last line.
    if (lines.size() != steps + 2 || !lines.last().isEmpty()) {
        error = QStringLiteral("the replay holds %1 lines of steps, its header says %2")
                    .arg(lines.size() - 1)
                    .arg(steps + 1);
        return false;
    }
    frames.resize(size_t(steps) + 1);
    QJsonParseError parseError{};
    for (int s = 0; s <= steps; ++s) {
        const QJsonObject o = QJsonDocument::fromJson(lines[s], &parseError).object();
        ReplayFrame &f = frames[size_t(s)];
        long long step = -1;
        if (!wholeNumber(o, "step", 0, steps, step) || step != s || !readArray(o, "r", f.radius)
            || !readArray(o, "x", f.x) || !readArray(o, "y", f.y) || !readArray(o, "vx", f.vx)
            || !readArray(o, "vy", f.vy) || !readArray(o, "a", f.action)
            || !o.value(QStringLiteral("agent0")).isArray()) {
            error = QStringLiteral("step %1 of the replay is damaged").arg(s);
            return false;
        }
        f.step = int(step);
        for (const auto &c : o.value(QStringLiteral("agent0")).toArray()) {
            const QJsonArray change = c.toArray();
            const QString cause = change.at(0).toString();
            RadiusChange rc;
            const long long code = cause == QLatin1String("wall") ? RadiusChange::Wall
                : cause == QLatin1String("contest")               ? RadiusChange::Contest
                : cause == QLatin1String("meal")                  ? RadiusChange::Meal
                                                                  : -1;
            if (change.size() != 3 || !causeOf(code, rc.cause) || !change.at(1).isDouble()
                || !change.at(2).isDouble()) {
                error = QStringLiteral("step %1 of the replay has a damaged cause").arg(s);
                return false;
            }
            rc.other = int32_t(change.at(1).toInt());
            rc.delta = int32_t(change.at(2).toInt());
            f.changes.push_back(rc);
        }
    }
    return true;
}

} // namespace

bool decodeReplay(const QByteArray &file, Replay &replay, QString &error)
{
    QByteArray plain;
    if (!gunzip(file, plain, error))
        return false;
    const int newline = plain.indexOf('\n');
    QJsonParseError parseError{};
    const QJsonObject header = QJsonDocument::fromJson(plain.left(newline), &parseError).object();
    if (newline < 0 || header.value(QStringLiteral("format")).toString() != QLatin1String("pelloria-replay")) {
        error = QStringLiteral("not a Pelloria replay");
        return false;
    }
    long long version = 0;
    if (!wholeNumber(header, "version", 0, INT32_MAX, version) || version < 1 || version > replayFormatVersion) {
        error = QStringLiteral("replay format version %1; this program reads versions 1 to %2")
                    .arg(header.value(QStringLiteral("version")).toVariant().toString())
                    .arg(replayFormatVersion);
        return false;
    }
    Replay read;
    ReplayHeader &h = read.header;
    if (!readHeaderValues(header, h)) {
        error = QStringLiteral("the replay's header is damaged");
        return false;
    }
    if (!readSeats(header, h.seats)) {
        error = QStringLiteral("the replay's seats are damaged");
        return false;
    }
    const QByteArray body = plain.mid(newline + 1);
    const bool framesRead = version == 1 ? readFrameLines(body, h.steps, read.frames, error)
                                         : readFrameChanges(body, h.steps, read.frames, error);
    if (!framesRead)
        return false;
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

bool saveRecordedGame(const QString &path, const ReplayHeader &header, const FrameWriter &frames, ReplayPacker &packer)
{
    const std::string plain = unpackedReplay(header, frames.data(), frames.size());
    const QByteArray packed = packer.pack(plain.data(), plain.size());
    if (packed.isEmpty())
        return false;
    const QString part = path + QStringLiteral(".part");
    QFile file(part);
    const bool written
        = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(packed) == packed.size() && file.flush();
    file.close();
    if (written && ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    QFile::remove(part);
    return false;
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

namespace {
SeparateGenerators *fairGenerators = nullptr;
ControllerFunction fairController = nullptr;

void onItsOwnGenerator(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                       const int *circleRadius, const int *xCoordinate, const int *yCoordinate, const int *xVelocity,
                       const int *yVelocity)
{
    fairGenerators->enterController();
    fairController(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity,
                   yVelocity);
    fairGenerators->leaveController();
}
} // namespace

Replay recordFairGame(ControllerFunction controller, uint32_t seed, int maxSteps, ReplayHeader header)
{
    static SeparateGenerators generators;
    fairGenerators = &generators;
    fairController = controller;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&onItsOwnGenerator);
    generators.enterGame();
    generators.startGame(seed, engine);
    Replay replay;
    GameResult result;
    {
        ReplayRecorder recorder(engine);
        result = playSeededGame(engine, seed, maxSteps, &ReplayRecorder::observe, &recorder);
        recorder.finish(result);
        replay.frames = std::move(recorder.frames);
    }
    generators.leaveGame();
    header.seed = seed;
    header.maxSteps = maxSteps;
    header.steps = result.steps;
    header.outcome = QString::fromLatin1(gameOutcomeName(result.outcome));
    replay.header = header;
    return replay;
}
