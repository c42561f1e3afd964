// Chooses every agent's action on each tick of its timer.
#ifndef WIDGET_AGENT_H
#define WIDGET_AGENT_H

#include "app/tick_worker.h"

class WidgetAgent : public TickWorker
{
    Q_OBJECT

public:
    WidgetAgent(Ball_engine *engine, QWidget *parent);

public Q_SLOTS:
    void update();
};

#endif
