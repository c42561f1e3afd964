// A recorded game: every step's full state, the actions chosen, and why
// agent 0's radius changed. Games are deterministic, so a replay is exact.
// The file format is docs/replay-format.md: gzip-compressed, a line of JSON
// for the header, then every frame as its differences from the one before.
#ifndef REPLAY_H
#define REPLAY_H

#include "engine/ball_engine.h"
#include "replay/replay_frames.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int replayFormatVersion = 2; // the version written; 1 is still read

// A match's seat: the agent a controller steered, and, when it was taken
// out of the game, how, in the arena's words.
struct ReplaySeat {
    int agent = 0;
    QString controller; // its label in the match
    QString sha256;     // of its library
    int failedAtStep = 0;
    QString failure; // empty when it played to the end
};

struct ReplayHeader {
    int version = replayFormatVersion; // written; whatever was read, the frames read are the same
    QString program;                   // the version of the program that wrote it
    uint32_t seed = 0;
    QString controller; // the library's file name
    QString sha256;     // of the library
    int maxSteps = 0;
    QString outcome;      // "set", "none-alive", "step-limit", or how it failed
    int steps = 0;        // steps played; frames 0..steps follow
    int failedAtStep = 0; // for a failed game: the step it failed at, else 0
    // A match's game: who steered which agent (then `controller` is agent
    // 0's); empty for a game of one controller against random agents.
    std::vector<ReplaySeat> seats;
};

struct Replay {
    ReplayHeader header;
    std::vector<ReplayFrame> frames;

    // Steps at which each agent died, 0 for none.
    std::array<int, replayAgents> deathSteps() const;
};

// The file's content before packing: the header's line, then the frames.
std::string replayHeaderLine(const ReplayHeader &header);
std::string unpackedReplay(const ReplayHeader &header, const char *frames, size_t size);

// Packs replays into files (gzip). Its state is kept from one replay to the
// next, so that a process that packs replay after replay sets it up once.
class ReplayPacker
{
public:
    ReplayPacker();
    ~ReplayPacker();
    ReplayPacker(const ReplayPacker &) = delete;
    ReplayPacker &operator=(const ReplayPacker &) = delete;
    // Empty when packing failed.
    QByteArray pack(const char *data, size_t size);

private:
    struct State;
    State *state;
};

QByteArray encodeReplay(const Replay &replay);
// Any damage, truncation or foreign version gives false and one line.
bool decodeReplay(const QByteArray &file, Replay &replay, QString &error);

// Written whole or not at all.
bool writeReplay(const QString &path, const Replay &replay, QString &error);
bool readReplay(const QString &path, Replay &replay, QString &error);

// Copies a frame into an engine set up for ten agents, for viewing.
void showFrame(const ReplayFrame &frame, Ball_engine &engine);

const char *causeName(RadiusChange::Cause cause);

// Writes a game recorded as it was played, whole or not at all (by a
// rename); not synced to disk, which would cost more than the game.
bool saveRecordedGame(const QString &path, const ReplayHeader &header, const FrameWriter &frames, ReplayPacker &packer);

// Plays the game of `seed` with `controller` exactly as pelloria-arena does
// (its own generator for the controller, seeded seed ^ 0x9E3779B9) and
// records it. `header` gives the controller's name, hash and program.
Replay recordFairGame(ControllerFunction controller, uint32_t seed, int maxSteps, ReplayHeader header);

#endif
