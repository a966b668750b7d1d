#include "shell/waitmsg.h"

#include "shell/msgfrm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quill::shell {

TMsgFrm* MsgFrm = nullptr;

namespace {

QPointer<QWidget> g_host;

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

void repaintPanel()
{
    if (MsgFrm && MsgFrm->MsgPanel)
        MsgFrm->MsgPanel->repaint();
}

void placeOverHost(QWidget* window)
{
    QRect over;
    if (g_host)
        over = g_host->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isValid())
        window->move(over.center() - QPoint(window->width() / 2, window->height() / 2));
}

// The caller keeps the thread busy, so the window must be on screen before this returns: wait for
// the platform to expose it, taking no user input meanwhile.
void showNow(QWidget* window)
{
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (window->windowHandle() && !window->windowHandle()->isExposed() && waited.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
}

TMsgFrm* openWindow()
{
    MsgFrm = new TMsgFrm;
    placeOverHost(MsgFrm);
    MsgFrm->Ani->start();
    return MsgFrm;
}

} // namespace

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

MsgPanelFrame::MsgPanelFrame(QWidget* parent) : QFrame(parent) {}

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

void MsgPanelFrame::paintEvent(QPaintEvent* event)
{
    ++m_paints;
    QFrame::paintEvent(event);
}

TMsgFrm::TMsgFrm(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"MsgFrm"_s);
    setFixedSize(kWidth, kHeight);

    MsgPanel = new MsgPanelFrame(this);
    MsgPanel->setObjectName(u"MsgPanel"_s);
    MsgPanel->setGeometry(0, 0, kWidth, kHeight);
    MsgPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MsgPanel->setLineWidth(2);
    MsgPanel->setAutoFillBackground(true);
    QPalette palette = MsgPanel->palette();
    palette.setColor(QPalette::Window, QColor(231, 230, 216));
    palette.setColor(QPalette::WindowText, Qt::black);
    MsgPanel->setPalette(palette);
    MsgPanel->setFont(messageFont());

    LblMsg = new MessageLabel(u"正在导入数据，请稍候..."_s, MsgPanel);
    LblMsg->setObjectName(u"LblMsg"_s);
    // 12 pixels hold a line of a 12-pixel bitmap font; an outline CJK font needs its whole line
    // height, or the tops and underscores of the message are cut off.
    const int lineHeight = std::max(12, QFontMetrics(MsgPanel->font()).height());
    LblMsg->setGeometry(22, 6, 299, lineHeight);
    LblMsg->setFixedSize(299, lineHeight);
    LblMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    ProgressBar = new QProgressBar(MsgPanel);
    ProgressBar->setObjectName(u"ProgressBar"_s);
    ProgressBar->setGeometry(28, 26, 301, 16);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    Ani = new SearchAnimation(MsgPanel);
    Ani->setObjectName(u"Ani"_s);
    Ani->setGeometry(kWidth - MsgPanel->lineWidth() - 50, 4, 50, 42);
    Ani->setFixedSize(50, 42);
}

TMsgFrm::~TMsgFrm() = default;

void TMsgFrm::SetPosition(int position)
{
    // QProgressBar ignores values outside its range; clamp so that the bar shows the nearest end.
    ProgressBar->setValue(qBound(ProgressBar->minimum(), position, ProgressBar->maximum()));
}

void SetMsgFrmHost(QWidget* host)
{
    g_host = host;
}

void ShowMsgFrm()
{
    if (MsgFrm)
        return;
    showNow(openWindow());
    repaintPanel();
}

void ShowMsgFrmText(const QString& text)
{
    if (MsgFrm)
        return;
    TMsgFrm* window = openWindow();
    window->ProgressBar->hide();
    window->LblMsg->move(window->LblMsg->x(), 20);
    window->LblMsg->setText(text);
    showNow(window);
    repaintPanel();
}

void SetMsgText(const QString& text)
{
    if (!MsgFrm)
        return;
    MsgFrm->LblMsg->setText(text);
    repaintPanel();
}

void SetMsgProgress(qint32 max, qint32 position)
{
    if (!MsgFrm)
        return;
    MsgFrm->ProgressBar->setMinimum(0);
    MsgFrm->ProgressBar->setMaximum(max);
    MsgFrm->SetPosition(position);
    repaintPanel();
}

void CloseMsgFrm()
{
    if (!MsgFrm)
        return;
    TMsgFrm* window = MsgFrm;
    MsgFrm = nullptr;
    window->Ani->stop();
    window->close();
    delete window;
}

} // namespace quill::shell
