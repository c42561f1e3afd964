#include "app/tick_worker.h"

#include "engine/game_rules.h"

#include <QThread>
#include <QTimer>

TickWorker::TickWorker(Ball_engine *engine, QWidget *parent)
    : QWidget(parent), engine(engine), interval(rules::tickIntervalMs)
{
    thread = new QThread(this);
    timer = new QTimer(thread);
    timer->setInterval(interval);
    // The start reaches the timer as a queued call. One that arrives after
    // the worker was stopped again is dropped, so a quick Resume-then-Stop
    // cannot leave a timer ticking.
    connect(thread, &QThread::started, timer, [this]() {
        if (thread->isRunning())
            timer->start();
    });
    thread->start();
}

TickWorker::~TickWorker()
{
    stop();
}

void TickWorker::start()
{
    thread->start();
}

void TickWorker::stop()
{
    // The thread carries no work, so quitting loses nothing; waiting makes a
    // later start begin a new run and lets the thread object be destroyed.
    thread->quit();
    thread->wait();
    timer->stop();
}
