#include "shell/msgfrm.h"
#include "shell/waitmsg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::shell;

class TestShellWaitMsg : public QObject
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
};

void TestShellWaitMsg::init()
{
    QCOMPARE(MsgFrm, nullptr);
}

void TestShellWaitMsg::cleanup()
{
    CloseMsgFrm();
    SetMsgFrmHost(nullptr);
}

void TestShellWaitMsg::defaultWindow()
{
    ShowMsgFrm();
    QVERIFY(MsgFrm);
    QVERIFY(MsgFrm->isVisible());
    QVERIFY(MsgFrm->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(MsgFrm->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!MsgFrm->isModal());
    QCOMPARE(MsgFrm->size(), QSize(393, 54));
    QCOMPARE(MsgFrm->MsgPanel->geometry(), QRect(0, 0, 393, 54));
    QCOMPARE(MsgFrm->MsgPanel->palette().color(QPalette::Window), QColor(231, 230, 216));
    QCOMPARE(MsgFrm->MsgPanel->frameShadow(), QFrame::Sunken);
    QCOMPARE(MsgFrm->MsgPanel->lineWidth(), 2);
    QCOMPARE(MsgFrm->LblMsg->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(MsgFrm->LblMsg->pos(), QPoint(22, 6));
    QCOMPARE(MsgFrm->LblMsg->width(), 299);
    // The whole line of the font, so that nothing of the message is cut off at top or bottom.
    QCOMPARE(MsgFrm->LblMsg->height(), std::max(12, QFontMetrics(MsgFrm->LblMsg->font()).height()));
    QCOMPARE(MsgFrm->ProgressBar->geometry(), QRect(28, 26, 301, 16));
    QVERIFY(MsgFrm->ProgressBar->isVisible());
    QCOMPARE(MsgFrm->ProgressBar->minimum(), 0);
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 100);
    QCOMPARE(MsgFrm->ProgressBar->value(), 0);
    QCOMPARE(MsgFrm->Ani->size(), QSize(50, 42));
    QCOMPARE(MsgFrm->Ani->y(), 4);
    QCOMPARE(MsgFrm->Ani->geometry().right(), 393 - 1 - MsgFrm->MsgPanel->lineWidth());
}

void TestShellWaitMsg::textWindow()
{
    ShowMsgFrmText(u"正在连接服务器，请稍候..."_s);
    QVERIFY(MsgFrm);
    QCOMPARE(MsgFrm->LblMsg->text(), u"正在连接服务器，请稍候..."_s);
    QCOMPARE(MsgFrm->LblMsg->pos(), QPoint(22, 20));
    QVERIFY(!MsgFrm->ProgressBar->isVisible());
    QVERIFY(MsgFrm->Ani->isRunning());

    // The text keeps its place and the bar stays hidden; progress lands on the hidden bar.
    SetMsgText(u"第二步"_s);
    SetMsgProgress(10, 4);
    QCOMPARE(MsgFrm->LblMsg->text(), u"第二步"_s);
    QCOMPARE(MsgFrm->LblMsg->pos(), QPoint(22, 20));
    QVERIFY(!MsgFrm->ProgressBar->isVisible());
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 10);
    QCOMPARE(MsgFrm->ProgressBar->value(), 4);
}

void TestShellWaitMsg::secondOpenChangesNothing()
{
    ShowMsgFrm();
    TMsgFrm* first = MsgFrm;
    SetMsgProgress(50, 20);
    ShowMsgFrmText(u"不应出现"_s);
    ShowMsgFrm();
    QCOMPARE(MsgFrm, first);
    QCOMPARE(MsgFrm->LblMsg->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(MsgFrm->LblMsg->pos(), QPoint(22, 6));
    QVERIFY(MsgFrm->ProgressBar->isVisible());
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 50);
    QCOMPARE(MsgFrm->ProgressBar->value(), 20);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](const QWidget* w) { return qobject_cast<const TMsgFrm*>(w) != nullptr; }),
             1);
}

void TestShellWaitMsg::operationsWithoutWindow()
{
    SetMsgText(u"x"_s);
    SetMsgProgress(10, 5);
    CloseMsgFrm();
    QCOMPARE(MsgFrm, nullptr);
    for (const QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<const TMsgFrm*>(w));
}

void TestShellWaitMsg::changesArePaintedAtOnce()
{
    ShowMsgFrm();
    const int afterOpen = MsgFrm->MsgPanel->paintCount();
    QVERIFY(afterOpen > 0);
    // No event loop runs between these calls, as in a busy command.
    SetMsgText(u"正在读取第1页"_s);
    const int afterText = MsgFrm->MsgPanel->paintCount();
    QVERIFY(afterText > afterOpen);
    SetMsgProgress(100, 30);
    QVERIFY(MsgFrm->MsgPanel->paintCount() > afterText);
}

void TestShellWaitMsg::progressOutOfRange()
{
    ShowMsgFrm();
    SetMsgProgress(10, 25);
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 10);
    QCOMPARE(MsgFrm->ProgressBar->value(), 10);
    SetMsgProgress(10, -3);
    QCOMPARE(MsgFrm->ProgressBar->value(), 0);
    SetMsgProgress(0, 0);
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 0);
}

void TestShellWaitMsg::longMessageKeepsItsCounter()
{
    ShowMsgFrm();
    const QString text = u"正在导出数据到客户关系管理全部客户资料_开始为第1个文档.xls...312/4500"_s;
    SetMsgText(text);
    QCOMPARE(MsgFrm->LblMsg->text(), text);
    const QString shown = MsgFrm->LblMsg->shownText();
    QVERIFY2(shown.startsWith(u"正在导出数据到"_s), qPrintable(shown));
    QVERIFY2(shown.endsWith(u"312/4500"_s), qPrintable(shown));
    QVERIFY(MsgFrm->LblMsg->fontMetrics().horizontalAdvance(shown) <= MsgFrm->LblMsg->width());

    SetMsgText(u"正在读入前100条文档数据..."_s);
    QCOMPARE(MsgFrm->LblMsg->shownText(), u"正在读入前100条文档数据..."_s);
}

void TestShellWaitMsg::freshDefaultAfterClose()
{
    ShowMsgFrmText(u"正在连接"_s);
    SetMsgProgress(7, 7);
    QPointer<TMsgFrm> old = MsgFrm;
    CloseMsgFrm();
    QCOMPARE(MsgFrm, nullptr);
    QVERIFY(old.isNull()); // freed at once, not later

    ShowMsgFrm();
    QCOMPARE(MsgFrm->LblMsg->text(), u"正在导入数据，请稍候..."_s);
    QCOMPARE(MsgFrm->LblMsg->pos(), QPoint(22, 6));
    QVERIFY(MsgFrm->ProgressBar->isVisible());
    QCOMPARE(MsgFrm->ProgressBar->maximum(), 100);
    QCOMPARE(MsgFrm->ProgressBar->value(), 0);
}

void TestShellWaitMsg::centredOverHost()
{
    QWidget host;
    host.setGeometry(100, 80, 800, 600);
    host.show();
    SetMsgFrmHost(&host);
    ShowMsgFrm();
    const QPoint delta = MsgFrm->frameGeometry().center() - host.frameGeometry().center();
    QVERIFY2(qAbs(delta.x()) <= 1 && qAbs(delta.y()) <= 1, qPrintable(u"%1,%2"_s.arg(delta.x()).arg(delta.y())));
}

void TestShellWaitMsg::animationRuns()
{
    ShowMsgFrm();
    SearchAnimation* ani = MsgFrm->Ani;
    QVERIFY(ani->isRunning());
    const int start = ani->frame();
    QTRY_VERIFY_WITH_TIMEOUT(ani->frame() != start, 2000);
    const QImage a = ani->grab().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(ani->grab().toImage() != a, 2000);
}

QTEST_MAIN(TestShellWaitMsg)
#include "tst_shell_waitmsg.moc"
