// The viewer's table of the agents at the step shown: each one's label,
// colour, radius, whether it lives (or when it died, and from what),
// velocity and action. Sorted as the player clicks its headers.
#ifndef APP_AGENT_PANEL_H
#define APP_AGENT_PANEL_H

#include "replay/replay.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QVector>

struct AgentRow {
    int agent = 0; // index; its label is agent + 1
    int radius = 0;
    int diedAt = 0;     // 0 while it lives
    QString state;      // "alive", or "died at step S" and, for agent 0, the cause
    QString controller; // who steered it: a library's file name, or "random"
    int vx = 0, vy = 0; // meaningless once dead: shown as "-"
    QString action;
};

// The rows at `step`, one per agent in index order; `died`: the replay's
// deathSteps(), when the caller keeps them.
QVector<AgentRow> agentRows(const Replay &replay, int step);
QVector<AgentRow> agentRows(const Replay &replay, int step, const std::array<int, replayAgents> &died);

// "none", "up", ... for an action code.
QString actionName(int code);
// "[3]" for agent 2: the label the arena and the window show.
QString agentLabel(int agent);
// A change of agent 0's radius in words, agents named by their labels.
QString changeText(const RadiusChange &change);

// The status line at `step`: agent 0's radius, velocity and action, its
// last change, a match's seats taken out by then and how, and at the last
// step how the game ended (`ending`, when it
// did not end by the rules), who is left and agent 0's rank.
QString stepStatus(const Replay &replay, int step, const QString &ending);

// A controller's log, as the arena writes it ("seed S step N stdout: ..."),
// the lines of one seed by step; lines printed while loading are at step 0.
QMap<int, QStringList> logLinesOf(const QByteArray &log, uint32_t seed);

class AgentPanel : public QTableWidget
{
    Q_OBJECT

public:
    AgentPanel(const QVector<QColor> &colours, QWidget *parent);
    void showRows(const QVector<AgentRow> &rows);
};

#endif
