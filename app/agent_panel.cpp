#include "app/agent_panel.h"

#include <QFileInfo>
#include <QHeaderView>

#include <algorithm>

namespace {

const char *const actionNames[]
    = {"none", "up", "down", "left", "right", "up-left", "up-right", "down-left", "down-right"};
enum Column { LabelColumn, ControllerColumn, RadiusColumn, StateColumn, VelocityColumn, ActionColumn, ColumnCount };

// Who steered agent `a`: a match's seat, else agent 0's controller or the
// arena's random play.
QString controllerOf(const ReplayHeader &header, int a)
{
    for (const ReplaySeat &seat : header.seats)
        if (seat.agent == a)
            return QFileInfo(seat.controller).fileName();
    return header.seats.empty() && a == 0 ? header.controller : QStringLiteral("random");
}

// A match's seat taken out of the game by `step`: how, in the arena's words.
const ReplaySeat *takenOut(const ReplayHeader &header, int a, int step)
{
    for (const ReplaySeat &seat : header.seats)
        if (seat.agent == a && !seat.failure.isEmpty() && seat.failedAtStep <= step)
            return &seat;
    return nullptr;
}

// The step and cause of agent 0's death, from the changes recorded.
QString agent0Death(const Replay &replay, int diedAt)
{
    const std::vector<RadiusChange> &changes = replay.frames[size_t(diedAt)].changes;
    return changes.empty() ? QString() : QStringLiteral(": ") + changeText(changes.back());
}

// Sorted by its number, whatever its text.
class NumberItem : public QTableWidgetItem
{
public:
    bool operator<(const QTableWidgetItem &other) const override
    {
        return data(Qt::UserRole).toInt() < other.data(Qt::UserRole).toInt();
    }
};

QTableWidgetItem *numberItem(int value, const QString &text = QString())
{
    auto *item = new NumberItem;
    item->setData(Qt::DisplayRole, text.isEmpty() ? QVariant(value) : QVariant(text));
    item->setData(Qt::UserRole, value);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

QString actionName(int code)
{
    return code >= 0 && code < BRAINLET_ACTIONS ? QString::fromLatin1(actionNames[code]) : QStringLiteral("none");
}

QString agentLabel(int agent)
{
    return QStringLiteral("[%1]").arg(agent + 1);
}

QString changeText(const RadiusChange &c)
{
    const QString delta = QString::asprintf("%+d", c.delta);
    switch (c.cause) {
    case RadiusChange::Wall: return QStringLiteral("wall %1").arg(delta);
    case RadiusChange::Contest: return QStringLiteral("contest with agent %1 %2").arg(agentLabel(c.other), delta);
    case RadiusChange::Meal:
        return QStringLiteral("meal from resource %1 %2").arg(c.other - replayAgents + 1).arg(delta);
    }
    return QString();
}

QVector<AgentRow> agentRows(const Replay &replay, int step)
{
    return agentRows(replay, step, replay.deathSteps());
}

QVector<AgentRow> agentRows(const Replay &replay, int step, const std::array<int, replayAgents> &died)
{
    QVector<AgentRow> rows;
    if (replay.frames.empty())
        return rows;
    step = std::max(0, std::min(step, int(replay.frames.size()) - 1));
    const ReplayFrame &f = replay.frames[size_t(step)];
    for (int a = 0; a < replayAgents; ++a) {
        AgentRow row;
        row.agent = a;
        row.radius = std::max(0, f.radius[size_t(a)]);
        const bool dead = died[size_t(a)] > 0 && died[size_t(a)] <= step;
        row.diedAt = dead ? died[size_t(a)] : 0;
        row.state = dead ? QStringLiteral("died at step %1").arg(row.diedAt) : QStringLiteral("alive");
        if (dead && a == 0)
            row.state += agent0Death(replay, row.diedAt);
        if (const ReplaySeat *out = takenOut(replay.header, a, step))
            row.state = QStringLiteral("taken out at step %1").arg(out->failedAtStep);
        row.controller = controllerOf(replay.header, a);
        row.vx = f.vx[size_t(a)];
        row.vy = f.vy[size_t(a)];
        row.action = dead ? QStringLiteral("-") : actionName(f.action[size_t(a)]);
        rows.append(row);
    }
    return rows;
}

AgentPanel::AgentPanel(const QVector<QColor> &colours, QWidget *parent)
    : QTableWidget(replayAgents, ColumnCount, parent)
{
    setHorizontalHeaderLabels({QStringLiteral("agent"), QStringLiteral("controller"), QStringLiteral("radius"),
                               QStringLiteral("state"), QStringLiteral("velocity"), QStringLiteral("action")});
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus); // the keys belong to the window
    for (int a = 0; a < replayAgents; ++a) {
        auto *label = numberItem(a + 1, agentLabel(a));
        label->setTextAlignment(Qt::AlignCenter);
        if (a < colours.size())
            label->setBackground(colours[a]);
        label->setForeground(Qt::white);
        setItem(a, LabelColumn, label);
    }
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(StateColumn, QHeaderView::Stretch);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(420);
    setSortingEnabled(true);
    sortByColumn(LabelColumn, Qt::AscendingOrder);
}

void AgentPanel::showRows(const QVector<AgentRow> &rows)
{
    // Rows are found by their label, wherever sorting put them; their
    // items are made once and then only changed.
    setSortingEnabled(false);
    for (int r = 0; r < rowCount(); ++r) {
        const int agent = item(r, LabelColumn)->data(Qt::UserRole).toInt() - 1;
        if (agent < 0 || agent >= rows.size())
            continue;
        const AgentRow &a = rows[agent];
        if (!item(r, RadiusColumn)) {
            setItem(r, RadiusColumn, numberItem(a.radius));
            for (int c : {ControllerColumn, StateColumn, VelocityColumn, ActionColumn})
                setItem(r, c, new QTableWidgetItem);
        }
        item(r, RadiusColumn)->setData(Qt::DisplayRole, a.radius);
        item(r, RadiusColumn)->setData(Qt::UserRole, a.radius);
        item(r, ControllerColumn)->setText(a.controller);
        item(r, StateColumn)->setText(a.state);
        item(r, VelocityColumn)
            ->setText(a.diedAt > 0 ? QStringLiteral("-") : QStringLiteral("(%1, %2)").arg(a.vx).arg(a.vy));
        item(r, ActionColumn)->setText(a.action);
    }
    setSortingEnabled(true);
}

namespace {

// At the end: how, who is left, agent 0's rank, and which game this is.
QString endText(const Replay &replay, const QString &ending)
{
    if (!ending.isEmpty())
        return ending;
    const ReplayFrame &f = replay.frames.back();
    QStringList left;
    int rank = 1;
    for (int a = 0; a < replayAgents; ++a) {
        if (f.radius[size_t(a)] > 0)
            left << agentLabel(a);
        if (a > 0 && f.radius[size_t(a)] > std::max(0, f.radius[0]))
            ++rank;
    }
    return QStringLiteral("%1; left %2; agent [1] ranks %3 of %4; seed %5, %6")
        .arg(replay.header.outcome, left.isEmpty() ? QStringLiteral("none") : left.join(QLatin1Char(' ')))
        .arg(rank)
        .arg(replayAgents)
        .arg(replay.header.seed)
        .arg(replay.header.controller);
}

} // namespace

QString stepStatus(const Replay &replay, int step, const QString &ending)
{
    const int last = int(replay.frames.size()) - 1;
    step = std::max(0, std::min(step, last));
    const ReplayFrame &f = replay.frames[size_t(step)];
    QString text
        = QStringLiteral("step %1 of %2   agent [1]: radius %3").arg(step).arg(last).arg(std::max(0, f.radius[0]));
    if (f.radius[0] > 0)
        text += QStringLiteral(", velocity (%1, %2), action %3").arg(f.vx[0]).arg(f.vy[0]).arg(actionName(f.action[0]));
    else
        text += QStringLiteral(", dead");
    for (int s = step; s > 0; --s) {
        const std::vector<RadiusChange> &changes = replay.frames[size_t(s)].changes;
        if (!changes.empty()) {
            text += QStringLiteral("   last change: %1 at step %2").arg(changeText(changes.back())).arg(s);
            break;
        }
    }
    for (const ReplaySeat &seat : replay.header.seats)
        if (takenOut(replay.header, seat.agent, step))
            text += QStringLiteral("   agent %1 (%2) %3")
                        .arg(agentLabel(seat.agent), QFileInfo(seat.controller).fileName(), seat.failure);
    if (step == last)
        text += QStringLiteral("   game over: %1").arg(endText(replay, ending));
    return text;
}

QMap<int, QStringList> logLinesOf(const QByteArray &log, uint32_t seed)
{
    QMap<int, QStringList> lines;
    const QByteArray prefix = "seed " + QByteArray::number(seed) + ' ';
    for (const QByteArray &line : log.split('\n')) {
        if (!line.startsWith(prefix))
            continue;
        const QByteArray rest = line.mid(prefix.size());
        int step = 0;
        int text = -1;
        if (rest.startsWith("step ")) {
            const int space = rest.indexOf(' ', 5);
            bool ok = false;
            step = rest.mid(5, space - 5).toInt(&ok);
            text = ok ? space + 1 : -1;
        } else if (rest.startsWith("load ")) {
            text = 5;
        }
        if (text > 0)
            lines[step].append(QString::fromUtf8(rest.mid(text)));
    }
    return lines;
}
