#include "widget_agent.h"

#include "step.h"
#include "tick.h"
#include "worker_thread.h"

#include <QThread>
#include <QTimer>

WidgetAgent::WidgetAgent(Ball_engine *engine, QWidget *parent)
    : QWidget(parent), engine(engine), interval(tickIntervalMs)
{
    thread = new QThread(this);
    timer = new QTimer(thread);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, &WidgetAgent::update);
    startTimerWhenThreadStarts(thread, timer);
    thread->start();
}

WidgetAgent::~WidgetAgent()
{
    stop();
}

void WidgetAgent::start()
{
    thread->start();
}

void WidgetAgent::stop()
{
    stopThreadAndTimer(thread, timer);
}

void WidgetAgent::update()
{
    chooseAllActions(*engine);
}
