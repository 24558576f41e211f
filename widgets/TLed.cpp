#include "TLed.h"

#include <QPainter>
#include <QPaintEvent>
#include <QRadialGradient>

TLed::TLed(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TLed::setOnColor(const QColor& color)
{
    if (OnColor == color) return;
    OnColor = color;
    update();
}

void TLed::setOffColor(const QColor& color)
{
    if (OffColor == color) return;
    OffColor = color;
    update();
}

void TLed::setLit(bool lit)
{
    if (Lit == lit) return;
    Lit = lit;
    update();
}

void TLed::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const qreal side = qMin(width(), height()) - 1.0;
    if (side < 2.0) return;
    const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    QColor body = shownColor();
    if (!isEnabled()) body = body.darker(115);

    // Body: the colour itself, a little lighter toward the upper left, so a
    // lit lamp looks domed rather than flat.
    QRadialGradient shade(circle.center() - QPointF(side * 0.18, side * 0.18), side * 0.7);
    shade.setColorAt(0.0, body.lighter(125));
    shade.setColorAt(1.0, body);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawEllipse(circle);

    // Rim: darker than the body so that a lamp in the panel's own colour
    // still shows as a recessed socket.
    QPen rim(body.darker(170));
    rim.setWidthF(1.0);
    painter.setPen(rim);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));

    // Highlight: a small soft reflection.
    const QRectF spot(circle.left() + side * 0.22, circle.top() + side * 0.16, side * 0.32, side * 0.24);
    QRadialGradient shine(spot.center(), spot.width() * 0.6);
    shine.setColorAt(0.0, QColor(255, 255, 255, 170));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawEllipse(spot);
}
