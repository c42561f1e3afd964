#include "app/widget_engine.h"

#include "engine/ball_engine.h"
#include "engine/step.h"

#include <QTimer>

WidgetEngine::WidgetEngine(Ball_engine *engine, QWidget *parent) : TickWorker(engine, parent)
{
    connect(timer, &QTimer::timeout, this, &WidgetEngine::update);
}

void WidgetEngine::update()
{
    // The receiver of game_set stops this worker before the emission returns,
    // so a game is announced once.
    if (isGameSet(stepArena(*engine, stepPhase)))
        Q_EMIT game_set();
}

void WidgetEngine::update_single_action(size_t i)
{
    engine->chooseAction(i);
}
