// Steps the engine on each tick of its timer and announces the end of a game.
#ifndef WIDGET_ENGINE_H
#define WIDGET_ENGINE_H

#include "app/tick_worker.h"

#include <cstddef>

class WidgetEngine : public TickWorker
{
    Q_OBJECT

public:
    WidgetEngine(Ball_engine *engine, QWidget *parent);

    size_t phase() const { return stepPhase; }

Q_SIGNALS:
    void game_set();

public Q_SLOTS:
    void update();
    void update_single_action(size_t i);

private:
    size_t stepPhase = 0;
};

#endif
