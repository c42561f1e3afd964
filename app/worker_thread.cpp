#include "worker_thread.h"

#include <QThread>
#include <QTimer>

void startTimerWhenThreadStarts(QThread *thread, QTimer *timer)
{
    QObject::connect(thread, &QThread::started, timer, [thread, timer]() {
        if (thread->isRunning())
            timer->start();
    });
}

void stopThreadAndTimer(QThread *thread, QTimer *timer)
{
    // The thread carries no work, so quitting loses nothing; waiting makes a
    // later start begin a new run and lets the thread object be destroyed.
    thread->quit();
    thread->wait();
    timer->stop();
}
