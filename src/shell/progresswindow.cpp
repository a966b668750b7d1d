#include "shell/progresswindow.h"

#include "shell/messagelabel.h"
#include "shell/searchanimation.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QProgressBar>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quill::shell {
namespace {

QFont messageFont()
{
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const QString& family : {u"宋体"_s, u"SimSun"_s, u"Noto Sans CJK SC"_s, u"Noto Serif CJK SC"_s}) {
        if (families.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPixelSize(12);
    return font;
}

} // namespace

ProgressWindow::ProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"progressWindow"_s);
    setFixedSize(kWidth, kHeight);

    m_panel = new QFrame(this);
    m_panel->setObjectName(u"panel"_s);
    m_panel->setGeometry(0, 0, kWidth, kHeight);
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel->setLineWidth(2);
    m_panel->setAutoFillBackground(true);
    QPalette palette = m_panel->palette();
    palette.setColor(QPalette::Window, QColor(231, 230, 216));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_panel->setPalette(palette);
    m_panel->setFont(messageFont());
    m_panel->installEventFilter(this);

    m_message = new MessageLabel(u"正在导入数据，请稍候..."_s, m_panel);
    m_message->setObjectName(u"message"_s);
    // 12 pixels hold a line of a 12-pixel bitmap font; an outline CJK font needs its whole line
    // height, or the tops and underscores of the message are cut off.
    const int lineHeight = std::max(12, QFontMetrics(m_panel->font()).height());
    m_message->setGeometry(22, 6, 299, lineHeight);
    m_message->setFixedSize(299, lineHeight);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_progressBar = new QProgressBar(m_panel);
    m_progressBar->setObjectName(u"progressBar"_s);
    m_progressBar->setGeometry(28, 26, 301, 16);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    m_animation = new SearchAnimation(m_panel);
    m_animation->setObjectName(u"animation"_s);
    m_animation->setGeometry(kWidth - m_panel->lineWidth() - 50, 4, 50, 42);
    m_animation->setFixedSize(50, 42);
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::showMessageOnly(const QString& text)
{
    m_progressBar->hide();
    m_message->move(m_message->x(), 20);
    m_message->setText(text);
}

void ProgressWindow::setPosition(int position)
{
    // QProgressBar ignores values outside its range; clamp so that the bar shows the nearest end.
    m_progressBar->setValue(qBound(m_progressBar->minimum(), position, m_progressBar->maximum()));
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_panel && event->type() == QEvent::Paint)
        ++m_panelPaints;
    return QWidget::eventFilter(watched, event);
}

} // namespace quill::shell
