#include "shell/progressdisplay.h"

#include "shell/messagelabel.h"
#include "shell/progresswindow.h"
#include "shell/searchanimation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

namespace quill::shell {
namespace {

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

} // namespace

ProgressDisplay::~ProgressDisplay()
{
    close();
}

ProgressWindow* ProgressDisplay::open()
{
    m_window = new ProgressWindow;
    QRect over;
    if (m_host)
        over = m_host->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isValid())
        m_window->move(over.center() - QPoint(m_window->width() / 2, m_window->height() / 2));
    m_window->animation()->start();
    return m_window;
}

void ProgressDisplay::repaint()
{
    if (m_window)
        m_window->panel()->repaint();
}

void ProgressDisplay::show()
{
    if (m_window)
        return;
    showNow(open());
    repaint();
}

void ProgressDisplay::showText(const QString& text)
{
    if (m_window)
        return;
    ProgressWindow* window = open();
    window->showMessageOnly(text);
    showNow(window);
    repaint();
}

void ProgressDisplay::setText(const QString& text)
{
    if (!m_window)
        return;
    m_window->messageLabel()->setText(text);
    repaint();
}

void ProgressDisplay::setProgress(qint32 max, qint32 position)
{
    if (!m_window)
        return;
    m_window->progressBar()->setMinimum(0);
    m_window->progressBar()->setMaximum(max);
    m_window->setPosition(position);
    repaint();
}

void ProgressDisplay::close()
{
    if (!m_window)
        return;
    ProgressWindow* window = m_window;
    m_window = nullptr;
    window->animation()->stop();
    window->close();
    delete window;
}

} // namespace quill::shell
