#include "widget_engine.h"

#include "ball_engine.h"
#include "step.h"
#include "tick.h"
#include "worker_thread.h"

#include <QThread>
#include <QTimer>

WidgetEngine::WidgetEngine(Ball_engine *engine, QWidget *parent)
    : QWidget(parent), engine(engine), stepPhase(0), interval(tickIntervalMs)
{
    thread = new QThread(this);
    timer = new QTimer(thread);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, &WidgetEngine::update);
    startTimerWhenThreadStarts(thread, timer);
    thread->start();
}

WidgetEngine::~WidgetEngine()
{
    stop();
}

void WidgetEngine::start()
{
    thread->start();
}

void WidgetEngine::stop()
{
    stopThreadAndTimer(thread, timer);
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
