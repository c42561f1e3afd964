#include "views/widget.h"

#include "views/arena_painter.h"

#include <QPainter>

Widget::Widget(ArenaPainter *arenaPainter, Ball_engine *engine, QWidget *parent)
    : QWidget(parent), arenaPainter(arenaPainter), engine(engine)
{
    setFixedSize(viewWidth, viewHeight);
}

void Widget::animate()
{
    repaint();
}

void Widget::paintEvent(QPaintEvent *event)
{
    QPainter painter;
    painter.begin(this);
    painter.setRenderHint(QPainter::Antialiasing);
    arenaPainter->paint(&painter, event, *engine);
    painter.end();
}
