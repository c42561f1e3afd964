// The one window: owns the engine, the painter, the view, the workers and the
// buttons, and moves between the states of play.
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "engine/ball_engine.h"
#include "views/arena_painter.h"

#include <QMainWindow>

#include <cstddef>

class QPushButton;
class QTimer;
class WidgetAgent;
class WidgetEngine;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The state of play lives in the start button's text alone.
    static const char *const startText;
    static const char *const pauseText;
    static const char *const resumeText;
    static const char *const stopText;
    static const char *const iconPath;

    MainWindow(QWidget *parent, size_t screenWidth);
    ~MainWindow() override;

    Ball_engine &ballEngine() { return engine; }

public Q_SLOTS:
    void stopGame();

private Q_SLOTS:
    void handleStartButton();
    void handleStopButton();

private:
    ArenaPainter arenaPainter;
    Ball_engine engine;
    size_t numAgents;
    QTimer *viewTimer;
    QPushButton *startButton;
    QPushButton *stopButton;
    WidgetEngine *engineWorker;
    WidgetAgent *agentWorker;
};

#endif
