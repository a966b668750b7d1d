#include "shell/linklabel.h"

#include <QMouseEvent>

namespace quill::shell {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    setHot(false);
}

void LinkLabel::setHot(bool hot)
{
    m_hot = hot;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, hot ? Qt::red : Qt::black);
    setPalette(p);
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    setHot(true);
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event)
{
    setHot(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace quill::shell
