#include "shell/messagelabel.h"

#include <QPainter>

namespace quill::shell {

QString MessageLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void MessageLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), int(alignment()), shownText());
}

} // namespace quill::shell
