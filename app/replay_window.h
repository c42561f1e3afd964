// Watching a recorded game: the arena view with play and pause, one step
// back and forward (the arrow keys), speed from 0.25x to 8x, and a timeline
// that marks where each agent died and jumps where it is clicked.
#ifndef REPLAY_WINDOW_H
#define REPLAY_WINDOW_H

#include "arena_painter.h"
#include "ball_engine.h"
#include "replay.h"

#include <QMainWindow>
#include <QSlider>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class Widget;

// A slider that jumps to where it is clicked and marks the agents' deaths
// (agent 0's stands out).
class TimelineSlider : public QSlider
{
    Q_OBJECT

public:
    explicit TimelineSlider(QWidget *parent);
    void setDeaths(const std::array<int, replayAgents> &steps);
    const std::array<int, replayAgents> &deaths() const { return deathSteps; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    std::array<int, replayAgents> deathSteps{};
};

class ReplayWindow : public QMainWindow
{
    Q_OBJECT

public:
    static const double speeds[];
    static constexpr int speedCount = 6;

    explicit ReplayWindow(Replay replay, QWidget *parent = nullptr);

    int step() const { return current; }
    int lastStep() const { return int(replay.frames.size()) - 1; }
    double speed() const;
    bool playing() const;
    QString statusText() const;
    // How the game ended when it did not end by the rules (a crash, a
    // hang): said at its last step instead of the outcome.
    void setEnding(const QString &text);
    TimelineSlider *timeline() const { return timelineSlider; }

public Q_SLOTS:
    void seek(int step);
    void stepForward();
    void stepBack();
    void playPause();
    void setSpeedIndex(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void advance();

    Replay replay;
    Ball_engine engine;
    ArenaPainter painter;
    Widget *view = nullptr;
    QPushButton *playButton = nullptr;
    QComboBox *speedBox = nullptr;
    TimelineSlider *timelineSlider = nullptr;
    QLabel *status = nullptr;
    QTimer *timer = nullptr;
    int current = 0;
    QString ending;
};

#endif
