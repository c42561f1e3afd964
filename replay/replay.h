// A recorded game: every step's full state, the actions chosen, and why
// agent 0's radius changed. Games are deterministic, so a replay is exact.
// The file format is docs/replay-format.md: gzip-compressed JSON Lines.
#ifndef REPLAY_H
#define REPLAY_H

#include "ball_engine.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

constexpr int replayFormatVersion = 1;
constexpr int replayCircles = 15;
constexpr int replayAgents = 10;

struct ReplayHeader {
    int version = replayFormatVersion;
    QString program;     // the version of the program that wrote it
    uint32_t seed = 0;
    QString controller;  // the library's file name
    QString sha256;      // of the library
    int maxSteps = 0;
    QString outcome;     // "set", "none-alive", "step-limit", or how it failed
    int steps = 0;       // steps played; frames 0..steps follow
    int failedAtStep = 0; // for a failed game: the step it failed at, else 0
};

// The state after step `step` (0: the layout), with the actions that step
// was played with and the changes of agent 0's radius during it.
struct ReplayFrame {
    int step = 0;
    std::array<int32_t, replayCircles> radius{}, x{}, y{};
    std::array<int32_t, replayAgents> vx{}, vy{}, action{};
    std::vector<RadiusChange> changes;
};

struct Replay {
    ReplayHeader header;
    std::vector<ReplayFrame> frames;

    // Steps at which each agent died, 0 for none.
    std::array<int, replayAgents> deathSteps() const;
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

#endif
