#include "shell/messagelabel.h"
#include "shell/progressdisplay.h"
#include "shell/progresswindow.h"
#include "shell/searchanimation.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::shell;

class TestShellProgress : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void defaultWindow();
    void textWindow();
    void secondOpenChangesNothing();
    void operationsWithoutWindow();
    void changesArePaintedAtOnce();
    void progressOutOfRange();
    void longMessageKeepsItsCounter();
    void freshDefaultAfterClose();
    void centredOverHost();
    void animationRuns();

private:
    ProgressWindow* window() const { return m_progress->window(); }

    std::unique_ptr<ProgressDisplay> m_progress;
};

void TestShellProgress::init()
{
    m_progress = std::make_unique<ProgressDisplay>();
    QCOMPARE(window(), nullptr);
}

void TestShellProgress::cleanup()
{
    m_progress.reset();
    for (const QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<const ProgressWindow*>(w));
}

void TestShellProgress::defaultWindow()
{
    m_progress->show();
    QVERIFY(window());
    QVERIFY(window()->isVisible());
    QVERIFY(window()->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!window()->isModal());
    QCOMPARE(window()->size(), QSize(393, 54));
    QCOMPARE(window()->panel()->geometry(), QRect(0, 0, 393, 54));
    QCOMPARE(window()->panel()->palette().color(QPalette::Window), QColor(231, 230, 216));
    QCOMPARE(window()->panel()->grab().toImage().pixelColor(100, 4), QColor(231, 230, 216));
    QCOMPARE(window()->panel()->frameShadow(), QFrame::Sunken);
    QCOMPARE(window()->panel()->lineWidth(), 2);
    QCOMPARE(window()->messageLabel()->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(window()->messageLabel()->pos(), QPoint(22, 6));
    QCOMPARE(window()->messageLabel()->width(), 299);
    // The whole line of the font, so that nothing of the message is cut off at top or bottom.
    QCOMPARE(window()->messageLabel()->height(), std::max(12, QFontMetrics(window()->messageLabel()->font()).height()));
    QCOMPARE(window()->progressBar()->geometry(), QRect(28, 26, 301, 16));
    QVERIFY(window()->progressBar()->isVisible());
    QCOMPARE(window()->progressBar()->minimum(), 0);
    QCOMPARE(window()->progressBar()->maximum(), 100);
    QCOMPARE(window()->progressBar()->value(), 0);
    QCOMPARE(window()->animation()->size(), QSize(50, 42));
    QCOMPARE(window()->animation()->y(), 4);
    QCOMPARE(window()->animation()->geometry().right(), 393 - 1 - window()->panel()->lineWidth());
}

void TestShellProgress::textWindow()
{
    m_progress->showText(u"正在连接服务器，请稍候..."_s);
    QVERIFY(window());
    QCOMPARE(window()->messageLabel()->text(), u"正在连接服务器，请稍候..."_s);
    QCOMPARE(window()->messageLabel()->pos(), QPoint(22, 20));
    QVERIFY(!window()->progressBar()->isVisible());
    QVERIFY(window()->animation()->isRunning());

    // The text keeps its place and the bar stays hidden; progress lands on the hidden bar.
    m_progress->setText(u"第二步"_s);
    m_progress->setProgress(10, 4);
    QCOMPARE(window()->messageLabel()->text(), u"第二步"_s);
    QCOMPARE(window()->messageLabel()->pos(), QPoint(22, 20));
    QVERIFY(!window()->progressBar()->isVisible());
    QCOMPARE(window()->progressBar()->maximum(), 10);
    QCOMPARE(window()->progressBar()->value(), 4);
}

void TestShellProgress::secondOpenChangesNothing()
{
    m_progress->show();
    ProgressWindow* first = window();
    m_progress->setProgress(50, 20);
    m_progress->showText(u"不应出现"_s);
    m_progress->show();
    QCOMPARE(window(), first);
    QCOMPARE(window()->messageLabel()->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(window()->messageLabel()->pos(), QPoint(22, 6));
    QVERIFY(window()->progressBar()->isVisible());
    QCOMPARE(window()->progressBar()->maximum(), 50);
    QCOMPARE(window()->progressBar()->value(), 20);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](const QWidget* w) { return qobject_cast<const ProgressWindow*>(w) != nullptr; }),
             1);
}

void TestShellProgress::operationsWithoutWindow()
{
    m_progress->setText(u"x"_s);
    m_progress->setProgress(10, 5);
    m_progress->close();
    QCOMPARE(window(), nullptr);
    for (const QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<const ProgressWindow*>(w));
}

void TestShellProgress::changesArePaintedAtOnce()
{
    m_progress->show();
    const int afterOpen = window()->panelPaintCount();
    QVERIFY(afterOpen > 0);
    // No event loop runs between these calls, as in a busy command.
    m_progress->setText(u"正在读取第1页"_s);
    const int afterText = window()->panelPaintCount();
    QVERIFY(afterText > afterOpen);
    m_progress->setProgress(100, 30);
    QVERIFY(window()->panelPaintCount() > afterText);
}

void TestShellProgress::progressOutOfRange()
{
    m_progress->show();
    m_progress->setProgress(10, 25);
    QCOMPARE(window()->progressBar()->maximum(), 10);
    QCOMPARE(window()->progressBar()->value(), 10);
    m_progress->setProgress(10, -3);
    QCOMPARE(window()->progressBar()->value(), 0);
    m_progress->setProgress(0, 0);
    QCOMPARE(window()->progressBar()->maximum(), 0);
}

void TestShellProgress::longMessageKeepsItsCounter()
{
    m_progress->show();
    const QString text = u"正在导出数据到客户关系管理全部客户资料_开始为第1个文档.xls...312/4500"_s;
    m_progress->setText(text);
    QCOMPARE(window()->messageLabel()->text(), text);
    const QString shown = window()->messageLabel()->shownText();
    QVERIFY2(shown.startsWith(u"正在导出数据到"_s), qPrintable(shown));
    QVERIFY2(shown.endsWith(u"312/4500"_s), qPrintable(shown));
    QVERIFY(window()->messageLabel()->fontMetrics().horizontalAdvance(shown) <= window()->messageLabel()->width());

    m_progress->setText(u"正在读入前100条文档数据..."_s);
    QCOMPARE(window()->messageLabel()->shownText(), u"正在读入前100条文档数据..."_s);
}

void TestShellProgress::freshDefaultAfterClose()
{
    m_progress->showText(u"正在连接"_s);
    m_progress->setProgress(7, 7);
    QPointer<ProgressWindow> old = window();
    m_progress->close();
    QCOMPARE(window(), nullptr);
    QVERIFY(old.isNull()); // freed at once, not later

    m_progress->show();
    QCOMPARE(window()->messageLabel()->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(window()->messageLabel()->pos(), QPoint(22, 6));
    QVERIFY(window()->progressBar()->isVisible());
    QCOMPARE(window()->progressBar()->maximum(), 100);
    QCOMPARE(window()->progressBar()->value(), 0);
}

void TestShellProgress::centredOverHost()
{
    QWidget host;
    host.setGeometry(100, 80, 800, 600);
    host.show();
    m_progress->setHost(&host);
    m_progress->show();
    const QPoint delta = window()->frameGeometry().center() - host.frameGeometry().center();
    QVERIFY2(qAbs(delta.x()) <= 1 && qAbs(delta.y()) <= 1, qPrintable(u"%1,%2"_s.arg(delta.x()).arg(delta.y())));
}

void TestShellProgress::animationRuns()
{
    m_progress->show();
    SearchAnimation* ani = window()->animation();
    QVERIFY(ani->isRunning());
    const int start = ani->frame();
    QTRY_VERIFY_WITH_TIMEOUT(ani->frame() != start, 2000);
    const QImage a = ani->grab().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(ani->grab().toImage() != a, 2000);
}

QTEST_MAIN(TestShellProgress)
#include "tst_shell_progress.moc"
