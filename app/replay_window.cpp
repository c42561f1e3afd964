#include "app/replay_window.h"

#include "app/agent_panel.h"
#include "app/replay_view.h"
#include "app/window_placement.h"
#include "engine/game_rules.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// Wide enough to see and to point at, at either end of the timeline.
constexpr int markerWidth = 3;
constexpr int pageSteps = 100;
const QColor agent0Marker(220, 20, 20);
const QColor otherMarker(90, 90, 90);

// A round number of steps between the scale's labels, some 80 pixels apart.
int scaleInterval(int steps, int width)
{
    const int wanted = std::max(1, steps * 80 / std::max(1, width));
    for (int unit = 1;; unit *= 10)
        for (int m : {1, 2, 5})
            if (m * unit >= wanted)
                return m * unit;
}

} // namespace

QStringList viewerKeys()
{
    return {QStringLiteral("Space        play or pause"),
            QStringLiteral("Left, Right  one step back, forward"),
            QStringLiteral("PgUp, PgDn   100 steps back, forward"),
            QStringLiteral("Home, End    the first, the last step"),
            QStringLiteral("D            agent 0's death"),
            QStringLiteral("N, P         agent 0's next, previous radius change"),
            QStringLiteral("+, -         faster, slower"),
            QStringLiteral("O            the ring around agent 0"),
            QStringLiteral("X            the marks where agents died"),
            QStringLiteral("T            agent 0's trail"),
            QStringLiteral("?, F1        this help")};
}

TimelineSlider::TimelineSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    setMinimumHeight(40);
    setMouseTracking(true);
}

void TimelineSlider::setDeaths(const std::array<int, replayAgents> &steps)
{
    deathSteps = steps;
    update();
}

QRect TimelineSlider::groove() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
}

QRect TimelineSlider::markerAt(int step) const
{
    const QRect g = groove();
    const int x = g.x() + QStyle::sliderPositionFromValue(minimum(), maximum(), step, g.width());
    const int left = std::max(0, std::min(x - markerWidth / 2, width() - markerWidth));
    return QRect(left, 0, markerWidth, height() * 2 / 3);
}

QString TimelineSlider::markersAt(int x) const
{
    QStringList names;
    for (int agent = 0; agent < replayAgents; ++agent) {
        const int step = deathSteps[size_t(agent)];
        if (step > 0 && markerAt(step).adjusted(-2, 0, 2, 0).contains(x, 1))
            names << QStringLiteral("agent %1 died at step %2").arg(agentLabel(agent)).arg(step);
    }
    return names.join(QLatin1Char('\n'));
}

QVector<int> TimelineSlider::scaleSteps() const
{
    QVector<int> steps;
    const int interval = scaleInterval(maximum() - minimum(), groove().width());
    for (int s = minimum(); s <= maximum(); s += interval)
        steps.append(s);
    return steps;
}

void TimelineSlider::mousePressEvent(QMouseEvent *event)
{
    // Straight to the step under the pointer, not a page towards it.
    const QRect g = groove();
    setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), event->pos().x() - g.x(), g.width()));
    QSlider::mousePressEvent(event);
}

bool TimelineSlider::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = markersAt(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QSlider::event(event);
}

void TimelineSlider::paintEvent(QPaintEvent *event)
{
    QSlider::paintEvent(event);
    QPainter p(this);
    for (int agent = replayAgents - 1; agent >= 0; --agent) {
        const int step = deathSteps[size_t(agent)];
        if (step > 0)
            p.fillRect(markerAt(step), agent == 0 ? agent0Marker : otherMarker);
    }
    const QRect g = groove();
    p.setPen(palette().color(QPalette::WindowText));
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    p.setFont(small);
    for (int s : scaleSteps()) {
        const int x = g.x() + QStyle::sliderPositionFromValue(minimum(), maximum(), s, g.width());
        p.drawLine(x, height() * 2 / 3, x, height() * 2 / 3 + 3);
        const int left = std::max(0, std::min(x - 30, width() - 60));
        p.drawText(QRect(left, height() * 2 / 3 + 2, 60, height() / 3),
                   Qt::AlignTop
                       | (left == x - 30  ? Qt::AlignHCenter
                              : left == 0 ? Qt::AlignLeft
                                          : Qt::AlignRight),
                   QString::number(s));
    }
}

const double ReplayWindow::speeds[] = {0.25, 0.5, 1, 2, 4, 8};

ReplayWindow::ReplayWindow(Replay recorded, QWidget *parent)
    : QMainWindow(parent), replay(std::move(recorded)), died(replay.deathSteps())
{
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    painter.setup(uint32_t(rules::agentsPerGame), engine);
    setWindowTitle(
        QStringLiteral("Pelloria replay: seed %1, %2").arg(replay.header.seed).arg(replay.header.controller));
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 4);
    auto *row = new QHBoxLayout;
    view = new ReplayView(&painter, &engine, central);
    row->addWidget(view, 5);
    QVector<QColor> colours;
    for (int a = 0; a < replayAgents; ++a)
        colours.append(engine.getColors()[a]);
    agentPanel = new AgentPanel(colours, central);
    logBox = new QPlainTextEdit(central);
    logBox->setReadOnly(true);
    logBox->setFocusPolicy(Qt::NoFocus);
    logBox->setPlaceholderText(QStringLiteral("the controller's output at this step (--log FILE)"));
    auto *side = new QVBoxLayout;
    side->addWidget(agentPanel, 3);
    side->addWidget(logBox, 1);
    row->addLayout(side, 2);
    column->addLayout(row, 1);
    buildControls(central);
    setCentralWidget(central);
    help = new QLabel(viewerKeys().join(QLatin1Char('\n')), view);
    help->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    help->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 200); color: white; padding: 8px;"));
    help->adjustSize();
    help->move(8, 8);
    help->hide();
    // Within the screen's room, whatever its size: the arena scales.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(sizeHint().boundedTo(screen->availableGeometry().size() * 9 / 10));
    speedBox->setCurrentIndex(2);
    setSpeedIndex(2);
    seek(0);
}

void ReplayWindow::buildControls(QWidget *central)
{
    auto *column = static_cast<QVBoxLayout *>(central->layout());
    auto *controls = new QHBoxLayout;
    auto *back = new QPushButton(QStringLiteral("<"), central);
    playButton = new QPushButton(QStringLiteral("&Play"), central);
    auto *forward = new QPushButton(QStringLiteral(">"), central);
    speedBox = new QComboBox(central);
    for (double s : speeds)
        speedBox->addItem(QStringLiteral("%1x").arg(s));
    timelineSlider = new TimelineSlider(central);
    timelineSlider->setRange(0, lastStep());
    timelineSlider->setDeaths(died);
    for (QWidget *w :
         {static_cast<QWidget *>(back), static_cast<QWidget *>(playButton), static_cast<QWidget *>(forward),
          static_cast<QWidget *>(speedBox), static_cast<QWidget *>(timelineSlider)}) {
        w->setFocusPolicy(Qt::NoFocus); // the keys belong to the window
        controls->addWidget(w, w == timelineSlider ? 1 : 0);
    }
    column->addLayout(controls);
    auto *legend = new QLabel(QStringLiteral("timeline: red, agent [1] died; grey, another agent died; "
                                             "? or F1: the keys"),
                              central);
    column->addWidget(legend);
    status = new QLabel(central);
    status->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    status->setWordWrap(true);
    column->addWidget(status);
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ReplayWindow::advance);
    connect(back, &QPushButton::clicked, this, &ReplayWindow::stepBack);
    connect(forward, &QPushButton::clicked, this, &ReplayWindow::stepForward);
    connect(playButton, &QPushButton::clicked, this, &ReplayWindow::playPause);
    connect(speedBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ReplayWindow::setSpeedIndex);
    connect(timelineSlider, &QSlider::valueChanged, this, &ReplayWindow::seek);
}

double ReplayWindow::speed() const
{
    return speeds[speedBox->currentIndex()];
}

bool ReplayWindow::playing() const
{
    return timer->isActive();
}

bool ReplayWindow::helpShown() const
{
    return help->isVisible();
}

void ReplayWindow::seek(int step)
{
    current = std::max(0, std::min(step, lastStep()));
    showFrame(replay.frames[size_t(current)], engine);
    if (timelineSlider->value() != current)
        timelineSlider->setValue(current);
    view->setOverlay(overlayAt(replay, current, view->overlay(), died));
    agentPanel->showRows(agentRows(replay, current, died));
    logBox->setPlainText(logText());
    status->setText(statusText());
}

void ReplayWindow::stepForward()
{
    seek(current + 1);
}

void ReplayWindow::stepBack()
{
    seek(current - 1);
}

void ReplayWindow::playPause()
{
    if (timer->isActive()) {
        timer->stop();
    } else {
        if (current == lastStep())
            seek(0);
        timer->start();
    }
    playButton->setText(timer->isActive() ? QStringLiteral("&Pause") : QStringLiteral("&Play"));
}

void ReplayWindow::setSpeedIndex(int index)
{
    if (index < 0 || index >= speedCount)
        return;
    if (speedBox->currentIndex() != index)
        speedBox->setCurrentIndex(index);
    timer->setInterval(std::max(1, int(rules::tickIntervalMs / speeds[index])));
}

void ReplayWindow::toggleHelp()
{
    help->setVisible(!help->isVisible());
    help->raise();
}

void ReplayWindow::advance()
{
    if (current >= lastStep()) {
        playPause();
        return;
    }
    stepForward();
}

int ReplayWindow::nextChange(int direction) const
{
    for (int s = current + direction; s > 0 && s <= lastStep(); s += direction)
        if (!replay.frames[size_t(s)].changes.empty())
            return s;
    return current;
}

int ReplayWindow::agent0Death() const
{
    return died[0] > 0 ? died[0] : lastStep();
}

bool ReplayWindow::toggleOverlay(int key)
{
    OverlayState shown = view->overlay();
    if (key == Qt::Key_O)
        shown.ring = !shown.ring;
    else if (key == Qt::Key_X)
        shown.deaths = !shown.deaths;
    else if (key == Qt::Key_T)
        shown.trail = !shown.trail;
    else
        return false;
    view->setOverlay(overlayAt(replay, current, shown, died));
    return true;
}

void ReplayWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Right: stepForward(); break;
    case Qt::Key_Left: stepBack(); break;
    case Qt::Key_Space: playPause(); break;
    case Qt::Key_Plus: setSpeedIndex(speedBox->currentIndex() + 1); break;
    case Qt::Key_Minus: setSpeedIndex(speedBox->currentIndex() - 1); break;
    case Qt::Key_Home: seek(0); break;
    case Qt::Key_End: seek(lastStep()); break;
    case Qt::Key_PageUp: seek(current - pageSteps); break;
    case Qt::Key_PageDown: seek(current + pageSteps); break;
    case Qt::Key_D: seek(agent0Death()); break;
    case Qt::Key_N: seek(nextChange(+1)); break;
    case Qt::Key_P: seek(nextChange(-1)); break;
    case Qt::Key_Question:
    case Qt::Key_F1: toggleHelp(); break;
    default:
        if (!toggleOverlay(event->key()))
            QMainWindow::keyPressEvent(event);
    }
}

QString ReplayWindow::statusText() const
{
    return stepStatus(replay, current, ending);
}

void ReplayWindow::setEnding(const QString &text)
{
    ending = text;
    status->setText(statusText());
}

void ReplayWindow::setLog(const QMap<int, QStringList> &lines)
{
    logLines = lines;
    logBox->setPlainText(logText());
}

QString ReplayWindow::logText() const
{
    QStringList shown;
    for (const QString &line : logLines.value(current))
        shown << QStringLiteral("step %1: %2").arg(current).arg(line);
    return shown.join(QLatin1Char('\n'));
}
