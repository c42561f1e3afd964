// Chooses every agent's action on each tick of its timer.
#ifndef WIDGET_AGENT_H
#define WIDGET_AGENT_H

#include <QWidget>

class Ball_engine;
class QThread;
class QTimer;

class WidgetAgent : public QWidget
{
    Q_OBJECT

public:
    WidgetAgent(Ball_engine *engine, QWidget *parent);
    ~WidgetAgent() override;

    void start();
    // Returns once the thread has finished and the timer is inactive.
    void stop();

    QThread *workerThread() const { return thread; }
    QTimer *tickTimer() const { return timer; }

public Q_SLOTS:
    void update();

private:
    Ball_engine *engine;
    int interval;
    QThread *thread;
    QTimer *timer;
};

#endif
