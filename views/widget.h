// The arena view: a fixed-size widget that lends its painter to ArenaPainter.
#ifndef WIDGET_H
#define WIDGET_H

#include "engine/game_rules.h"

#include <QWidget>

class ArenaPainter;
class Ball_engine;

class Widget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int viewWidth = rules::maxArenaWidth;
    static constexpr int viewHeight = rules::maxArenaHeight;

    Widget(ArenaPainter *arenaPainter, Ball_engine *engine, QWidget *parent);

public Q_SLOTS:
    // Paints before returning, so every tick shows a whole frame.
    void animate();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ArenaPainter *arenaPainter;
    Ball_engine *engine;
};

#endif
