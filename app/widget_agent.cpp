#include "app/widget_agent.h"

#include "engine/step.h"

#include <QTimer>

WidgetAgent::WidgetAgent(Ball_engine *engine, QWidget *parent) : TickWorker(engine, parent)
{
    connect(timer, &QTimer::timeout, this, &WidgetAgent::update);
}

void WidgetAgent::update()
{
    chooseAllActions(*engine);
}
