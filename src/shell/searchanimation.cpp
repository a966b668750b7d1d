#include "shell/searchanimation.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace quill::shell {

SearchAnimation::SearchAnimation(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(120);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kFrameCount;
        update();
    });
}

void SearchAnimation::start()
{
    m_frame = 0;
    m_timer->start();
    update();
}

void SearchAnimation::stop()
{
    m_timer->stop();
}

bool SearchAnimation::isRunning() const
{
    return m_timer->isActive();
}

void SearchAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width();
    const qreal h = height();

    // Folder.
    const QRectF body(w * 0.08, h * 0.34, w * 0.64, h * 0.5);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(body.left(), body.top() - h * 0.1, w * 0.26, h * 0.16), 2, 2);
    p.setPen(QPen(QColor(0x8a, 0x65, 0x10), 1));
    p.setBrush(QColor(0xd9, 0xa5, 0x20));
    p.drawPath(tab);
    p.setBrush(QColor(0xf6, 0xcf, 0x57));
    p.drawRoundedRect(body, 2, 2);
    // A page sticking out of the folder.
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(body.left() + w * 0.12, body.top() - h * 0.06, w * 0.3, h * 0.12));

    // Magnifier sweeping left and right over the folder.
    static constexpr qreal kSweep[kFrameCount] = {0.0, 0.2, 0.45, 0.7, 0.9, 0.7, 0.45, 0.2};
    static constexpr qreal kBob[kFrameCount] = {0.0, -0.05, 0.0, 0.05, 0.0, -0.05, 0.0, 0.05};
    const qreal radius = h * 0.17;
    const QPointF centre(w * 0.2 + kSweep[m_frame] * w * 0.45, h * (0.5 + kBob[m_frame]));
    const QPointF handleEnd = centre + QPointF(radius * 1.7, radius * 1.7);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(radius * 0.7, radius * 0.7), handleEnd);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    p.setBrush(QColor(0xcf, 0xe8, 0xff, 190));
    p.drawEllipse(centre, radius, radius);
}

} // namespace quill::shell
