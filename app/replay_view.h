// The viewer's arena: ArenaPainter's picture scaled to whatever room the
// window gives it, keeping the arena's 16:9 shape, with an overlay of the
// viewer's own on top: a ring that finds agent 0 at any radius and at the
// walls, a mark where each agent died, and agent 0's recent trail.
#ifndef APP_REPLAY_VIEW_H
#define APP_REPLAY_VIEW_H

#include "replay/replay.h"

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <QVector>
#include <QWidget>

class ArenaPainter;
class Ball_engine;
class QPainter;

// What the overlay shows at one step, worked out from the replay.
struct OverlayState {
    bool ring = true;
    bool deaths = true;
    bool trail = false;
    QPointF agent0;
    int agent0Radius = 0;
    struct Death {
        int agent;
        QPointF where;
    };
    QVector<Death> dead;   // agents dead by this step, where they died
    QVector<QPointF> path; // agent 0's last positions, oldest first
};

// The overlay of `replay` at `step`, with the toggles of `shown`; `died`:
// the replay's deathSteps(), when the caller keeps them.
OverlayState overlayAt(const Replay &replay, int step, const OverlayState &shown);
OverlayState overlayAt(const Replay &replay, int step, const OverlayState &shown,
                       const std::array<int, replayAgents> &died);

// Where an arena of `arena` size lands in `target`: as large as fits, 16:9
// kept, centred.
QTransform arenaTransform(const QSizeF &arena, const QRectF &target);

// Paints the arena and its overlay into `target` on any painter: the
// window and the exported frames alike.
void paintScaled(QPainter &p, const QRectF &target, ArenaPainter &painter, const Ball_engine &engine,
                 const OverlayState &overlay);

class ReplayView : public QWidget
{
    Q_OBJECT

public:
    ReplayView(ArenaPainter *painter, Ball_engine *engine, QWidget *parent);
    void setOverlay(const OverlayState &state);
    const OverlayState &overlay() const { return state; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ArenaPainter *painter;
    Ball_engine *engine;
    OverlayState state;
};

#endif
