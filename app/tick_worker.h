// What both workers share: a QThread whose start starts a 50 ms timer that
// stays on the GUI thread, and start/stop of the pair.
#ifndef TICK_WORKER_H
#define TICK_WORKER_H

#include <QWidget>

class Ball_engine;
class QThread;
class QTimer;

class TickWorker : public QWidget
{
public:
    // Returns once the thread has finished and the timer is inactive.
    void stop();
    void start();

    QThread *workerThread() const { return thread; }
    QTimer *tickTimer() const { return timer; }

protected:
    // Starts the thread at once, so the timer ticks from the first pass of
    // the event loop; the subclass connects the timer to its own update().
    TickWorker(Ball_engine *engine, QWidget *parent);
    ~TickWorker() override;

    Ball_engine *engine;
    int interval;
    QThread *thread;
    QTimer *timer;
};

#endif
