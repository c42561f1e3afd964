// Steps the engine on each tick of its timer and announces the end of a game.
#ifndef WIDGET_ENGINE_H
#define WIDGET_ENGINE_H

#include <QWidget>

#include <cstddef>

class Ball_engine;
class QThread;
class QTimer;

class WidgetEngine : public QWidget
{
    Q_OBJECT

public:
    WidgetEngine(Ball_engine *engine, QWidget *parent);
    ~WidgetEngine() override;

    void start();
    // Returns once the thread has finished and the timer is inactive.
    void stop();

    QThread *workerThread() const { return thread; }
    QTimer *tickTimer() const { return timer; }
    size_t phase() const { return stepPhase; }

Q_SIGNALS:
    void game_set();

public Q_SLOTS:
    void update();
    void update_single_action(size_t i);

private:
    Ball_engine *engine;
    size_t stepPhase;
    int interval;
    QThread *thread;
    QTimer *timer;
};

#endif
