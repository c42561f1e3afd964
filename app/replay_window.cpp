#include "replay_window.h"

#include "game_rules.h"
#include "widget.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const actionNames[] = {"none", "up", "down", "left", "right", "up-left", "up-right", "down-left",
                                   "down-right"};

QString actionName(int code)
{
    return code >= 0 && code < BRAINLET_ACTIONS ? QString::fromLatin1(actionNames[code]) : QStringLiteral("none");
}

QString changeText(const RadiusChange &c)
{
    const QString delta = QString::asprintf("%+d", c.delta);
    switch (c.cause) {
    case RadiusChange::Wall: return QStringLiteral("wall %1").arg(delta);
    case RadiusChange::Contest: return QStringLiteral("contest with agent %1 %2").arg(c.other).arg(delta);
    case RadiusChange::Meal: return QStringLiteral("meal from resource %1 %2").arg(c.other - replayAgents).arg(delta);
    }
    return QString();
}

} // namespace

TimelineSlider::TimelineSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    setMinimumHeight(28);
}

void TimelineSlider::setDeaths(const std::array<int, replayAgents> &steps)
{
    deathSteps = steps;
    update();
}

void TimelineSlider::mousePressEvent(QMouseEvent *event)
{
    // Straight to the step under the pointer, not a page towards it.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), event->pos().x() - groove.x(), groove.width()));
    QSlider::mousePressEvent(event);
}

void TimelineSlider::paintEvent(QPaintEvent *event)
{
    QSlider::paintEvent(event);
    QPainter p(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    for (int agent = replayAgents - 1; agent >= 0; --agent) {
        const int step = deathSteps[size_t(agent)];
        if (step <= 0)
            continue;
        const int x = groove.x() + QStyle::sliderPositionFromValue(minimum(), maximum(), step, groove.width());
        const bool mine = agent == 0;
        p.setPen(QPen(mine ? QColor(220, 20, 20) : QColor(90, 90, 90), mine ? 3 : 1));
        p.drawLine(x, mine ? 0 : height() / 4, x, mine ? height() : height() * 3 / 4);
    }
}

const double ReplayWindow::speeds[] = {0.25, 0.5, 1, 2, 4, 8};

ReplayWindow::ReplayWindow(Replay recorded, QWidget *parent) : QMainWindow(parent), replay(std::move(recorded))
{
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    painter.setup(uint32_t(rules::agentsPerGame), engine);
    setWindowTitle(QStringLiteral("Pelloria replay: seed %1, %2").arg(replay.header.seed).arg(replay.header.controller));

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 4);
    view = new Widget(&painter, &engine, central);
    column->addWidget(view);
    auto *controls = new QHBoxLayout;
    auto *back = new QPushButton(QStringLiteral("<"), central);
    playButton = new QPushButton(QStringLiteral("&Play"), central);
    auto *forward = new QPushButton(QStringLiteral(">"), central);
    speedBox = new QComboBox(central);
    for (double s : speeds)
        speedBox->addItem(QStringLiteral("%1x").arg(s));
    timelineSlider = new TimelineSlider(central);
    timelineSlider->setRange(0, lastStep());
    timelineSlider->setDeaths(replay.deathSteps());
    for (QWidget *w : {static_cast<QWidget *>(back), static_cast<QWidget *>(playButton),
                       static_cast<QWidget *>(forward), static_cast<QWidget *>(speedBox)}) {
        w->setFocusPolicy(Qt::NoFocus); // the arrow keys belong to the window
        controls->addWidget(w);
    }
    timelineSlider->setFocusPolicy(Qt::NoFocus);
    controls->addWidget(timelineSlider, 1);
    column->addLayout(controls);
    status = new QLabel(central);
    status->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    column->addWidget(status);
    setCentralWidget(central);

    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ReplayWindow::advance);
    connect(back, &QPushButton::clicked, this, &ReplayWindow::stepBack);
    connect(forward, &QPushButton::clicked, this, &ReplayWindow::stepForward);
    connect(playButton, &QPushButton::clicked, this, &ReplayWindow::playPause);
    connect(speedBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ReplayWindow::setSpeedIndex);
    connect(timelineSlider, &QSlider::valueChanged, this, &ReplayWindow::seek);
    speedBox->setCurrentIndex(2);
    setSpeedIndex(2);
    seek(0);
}

double ReplayWindow::speed() const
{
    return speeds[speedBox->currentIndex()];
}

bool ReplayWindow::playing() const
{
    return timer->isActive();
}

void ReplayWindow::seek(int step)
{
    current = std::max(0, std::min(step, lastStep()));
    showFrame(replay.frames[size_t(current)], engine);
    if (timelineSlider->value() != current)
        timelineSlider->setValue(current);
    status->setText(statusText());
    view->animate();
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

void ReplayWindow::advance()
{
    if (current >= lastStep()) {
        playPause();
        return;
    }
    stepForward();
}

void ReplayWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Right: stepForward(); break;
    case Qt::Key_Left: stepBack(); break;
    case Qt::Key_Space: playPause(); break;
    case Qt::Key_Plus: setSpeedIndex(speedBox->currentIndex() + 1); break;
    case Qt::Key_Minus: setSpeedIndex(speedBox->currentIndex() - 1); break;
    default: QMainWindow::keyPressEvent(event);
    }
}

QString ReplayWindow::statusText() const
{
    const ReplayFrame &f = replay.frames[size_t(current)];
    QString text = QStringLiteral("step %1 of %2   agent 0: radius %3, velocity (%4, %5), action %6")
                       .arg(current)
                       .arg(lastStep())
                       .arg(std::max(0, f.radius[0]))
                       .arg(f.vx[0])
                       .arg(f.vy[0])
                       .arg(actionName(f.action[0]));
    for (int s = current; s > 0; --s) {
        const std::vector<RadiusChange> &changes = replay.frames[size_t(s)].changes;
        if (!changes.empty()) {
            text += QStringLiteral("   last change: %1 at step %2").arg(changeText(changes.back())).arg(s);
            break;
        }
    }
    if (current == lastStep())
        text += QStringLiteral("   game over: %1").arg(ending.isEmpty() ? replay.header.outcome : ending);
    return text;
}

void ReplayWindow::setEnding(const QString &text)
{
    ending = text;
    status->setText(statusText());
}
