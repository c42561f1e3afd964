#include "app/replay_view.h"

#include "engine/ball_engine.h"
#include "engine/game_rules.h"
#include "views/arena_painter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// Long enough to show where agent 0 is heading, short enough not to hide
// the others.
constexpr int trailSteps = 40;
// Screen pixels: the ring and the marks keep their size however small the
// arena is drawn.
constexpr qreal ringGap = 6;
constexpr qreal ringWidth = 3;
constexpr qreal markSize = 7;

const QColor agent0Colour(255, 220, 0);
const QColor agent0DeathColour(230, 30, 30);
const QColor deathColour(200, 200, 200);

void paintRing(QPainter &p, const QTransform &t, const OverlayState &o)
{
    const QPointF centre = t.map(o.agent0);
    const qreal radius = std::max<qreal>(0, o.agent0Radius) * t.m11() + ringGap;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, ringWidth + 2));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(agent0Colour, ringWidth));
    p.drawEllipse(centre, radius, radius);
}

void paintDeaths(QPainter &p, const QTransform &t, const OverlayState &o)
{
    for (const OverlayState::Death &d : o.dead) {
        const QPointF c = t.map(d.where);
        p.setPen(QPen(d.agent == 0 ? agent0DeathColour : deathColour, d.agent == 0 ? 3 : 2));
        p.drawLine(c + QPointF(-markSize, -markSize), c + QPointF(markSize, markSize));
        p.drawLine(c + QPointF(-markSize, markSize), c + QPointF(markSize, -markSize));
    }
}

void paintTrail(QPainter &p, const QTransform &t, const OverlayState &o)
{
    if (o.path.size() < 2)
        return;
    QPainterPath path(t.map(o.path.first()));
    for (int i = 1; i < o.path.size(); ++i)
        path.lineTo(t.map(o.path[i]));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(agent0Colour.red(), agent0Colour.green(), agent0Colour.blue(), 160), 2));
    p.drawPath(path);
}

} // namespace

OverlayState overlayAt(const Replay &replay, int step, const OverlayState &shown)
{
    return overlayAt(replay, step, shown, replay.deathSteps());
}

OverlayState overlayAt(const Replay &replay, int step, const OverlayState &shown,
                       const std::array<int, replayAgents> &died)
{
    OverlayState o;
    o.ring = shown.ring;
    o.deaths = shown.deaths;
    o.trail = shown.trail;
    if (replay.frames.empty())
        return o;
    step = std::max(0, std::min(step, int(replay.frames.size()) - 1));
    const ReplayFrame &f = replay.frames[size_t(step)];
    o.agent0 = QPointF(f.x[0], f.y[0]);
    o.agent0Radius = f.radius[0];
    for (int a = 0; a < replayAgents; ++a)
        if (died[size_t(a)] > 0 && died[size_t(a)] <= step)
            o.dead.append({a, QPointF(f.x[size_t(a)], f.y[size_t(a)])});
    for (int s = std::max(0, step - trailSteps); s <= step; ++s)
        o.path.append(QPointF(replay.frames[size_t(s)].x[0], replay.frames[size_t(s)].y[0]));
    return o;
}

QTransform arenaTransform(const QSizeF &arena, const QRectF &target)
{
    const qreal scale = std::min(target.width() / arena.width(), target.height() / arena.height());
    const qreal dx = target.x() + (target.width() - arena.width() * scale) / 2;
    const qreal dy = target.y() + (target.height() - arena.height() * scale) / 2;
    return QTransform(scale, 0, 0, scale, dx, dy);
}

void paintScaled(QPainter &p, const QRectF &target, ArenaPainter &painter, const Ball_engine &engine,
                 const OverlayState &overlay)
{
    const QRect arena(0, 0, engine.width, engine.height);
    const QTransform t = arenaTransform(arena.size(), target);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setWorldTransform(t);
    p.setClipRect(arena);
    QPaintEvent event(arena);
    painter.paint(&p, &event, engine);
    p.restore();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (overlay.trail)
        paintTrail(p, t, overlay);
    if (overlay.deaths)
        paintDeaths(p, t, overlay);
    if (overlay.ring && overlay.agent0Radius > 0)
        paintRing(p, t, overlay);
    p.restore();
}

ReplayView::ReplayView(ArenaPainter *painter, Ball_engine *engine, QWidget *parent)
    : QWidget(parent), painter(painter), engine(engine)
{
    setMinimumSize(rules::arenaWidthUnits * 20, rules::arenaHeightUnits * 20);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ReplayView::setOverlay(const OverlayState &overlay)
{
    state = overlay;
    update();
}

QSize ReplayView::sizeHint() const
{
    return QSize(rules::maxArenaWidth, rules::maxArenaHeight);
}

int ReplayView::heightForWidth(int width) const
{
    return width * rules::arenaHeightUnits / rules::arenaWidthUnits;
}

void ReplayView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    paintScaled(p, rect(), *painter, *engine, state);
}
