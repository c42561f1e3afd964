// Watching a recorded game: the arena scaled to the window with the
// viewer's overlay, a table of the agents, play and pause, stepping and
// jumping by keys, speed from 0.25x to 8x, and a timeline that marks where
// each agent died, names it, and jumps where it is clicked.
#ifndef REPLAY_WINDOW_H
#define REPLAY_WINDOW_H

#include "engine/ball_engine.h"
#include "replay/replay.h"
#include "views/arena_painter.h"

#include <QMainWindow>
#include <QMap>
#include <QStringList>
#include <QSlider>

class AgentPanel;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class ReplayView;

// A slider that jumps to where it is clicked, marks the agents' deaths
// (agent 0's stands out) with a tooltip naming each, and shows a scale of
// steps.
class TimelineSlider : public QSlider
{
    Q_OBJECT

public:
    explicit TimelineSlider(QWidget *parent);
    void setDeaths(const std::array<int, replayAgents> &steps);
    const std::array<int, replayAgents> &deaths() const { return deathSteps; }
    // Where a death at `step` is marked: its left edge and width, in pixels.
    QRect markerAt(int step) const;
    // The tooltip's text at `x`: the agents whose mark is there.
    QString markersAt(int x) const;
    // The steps the scale is labelled at.
    QVector<int> scaleSteps() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect groove() const;
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
    TimelineSlider *timeline() const { return timelineSlider; }
    ReplayView *arenaView() const { return view; }
    AgentPanel *panel() const { return agentPanel; }
    bool helpShown() const;
    // How the game ended when it did not end by the rules (a crash, a
    // hang): said at its last step instead of the outcome.
    void setEnding(const QString &text);
    // Agent 0's next or previous change of radius from the step shown; the
    // step itself when there is none.
    int nextChange(int direction) const;
    // The step agent 0 died at, or the last step.
    int agent0Death() const;
    // The controller's log for this game: its lines are shown at their step.
    void setLog(const QMap<int, QStringList> &lines);
    QString logText() const;

public Q_SLOTS:
    void seek(int step);
    void stepForward();
    void stepBack();
    void playPause();
    void setSpeedIndex(int index);
    void toggleHelp();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls(QWidget *central);
    void advance();
    bool toggleOverlay(int key);

    Replay replay;
    Ball_engine engine;
    ArenaPainter painter;
    ReplayView *view = nullptr;
    AgentPanel *agentPanel = nullptr;
    QPushButton *playButton = nullptr;
    QComboBox *speedBox = nullptr;
    TimelineSlider *timelineSlider = nullptr;
    QLabel *status = nullptr;
    QLabel *help = nullptr;
    QPlainTextEdit *logBox = nullptr;
    QMap<int, QStringList> logLines;
    QTimer *timer = nullptr;
    int current = 0;
    QString ending;
    std::array<int, replayAgents> died{}; // each agent's death step, 0 for none
};

// Keys the viewer answers, one line each, as its help shows them.
QStringList viewerKeys();

#endif
