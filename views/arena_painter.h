// Paints the arena from an engine's arrays on any QPainter.
#ifndef ARENA_PAINTER_H
#define ARENA_PAINTER_H

#include "engine/game_rules.h"

#include <QBrush>
#include <QPen>

#include <cstdint>

class Ball_engine;
class QPainter;
class QPaintEvent;

class ArenaPainter
{
public:
    ArenaPainter();
    ~ArenaPainter();
    ArenaPainter(const ArenaPainter &) = delete;
    ArenaPainter &operator=(const ArenaPainter &) = delete;

    // Makes the brushes once; the engine's colours are not read again.
    void setup(uint32_t numAgents, const Ball_engine &engine);
    void paint(QPainter *painter, QPaintEvent *event, const Ball_engine &engine);

    static const char *creditText();

private:
    uint32_t agentCount = 0;
    QBrush background;
    QBrush *agentBrushes = nullptr;
    QPen circlePen;
    int arenaHeight = rules::maxArenaHeight;
};

#endif
