#include "scriptedprompts.h"
#include "shell/aboutdialog.h"
#include "shell/icons.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/progresswindow.h"
#include "workspace/workspace.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace quill;

// Saves pictures of the windows for review: QUILL_SCREENSHOT_DIR names the folder (default: a
// temporary one), and checks what a picture can show wrongly, such as missing Chinese glyphs.
class TestShellScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void chineseGlyphsRender();
    void mainWindow();
    void about();
    void progress();

private:
    std::unique_ptr<shell::MainWindow> populatedWindow();
    void save(const QImage& image, const QString& name);
    static QImage withWindow(const QImage& base, const QWidget* host, QWidget* window);

    QTemporaryDir m_temp;
    QString m_folder;
    testing::ScriptedPrompts m_prompts;
    std::unique_ptr<workspace::Workspace> m_workspace;
};

void TestShellScreenshots::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_folder = qEnvironmentVariable("QUILL_SCREENSHOT_DIR", m_temp.path());
    QVERIFY(QDir().mkpath(m_folder));
}

void TestShellScreenshots::chineseGlyphsRender()
{
    // Without a CJK font both characters render as the same empty box.
    QLabel a(u"客"_s);
    QLabel b(u"服"_s);
    a.resize(40, 30);
    b.resize(40, 30);
    QVERIFY2(a.grab().toImage() != b.grab().toImage(), "no font with Chinese glyphs is found");
}

std::unique_ptr<shell::MainWindow> TestShellScreenshots::populatedWindow()
{
    m_workspace = std::make_unique<workspace::Workspace>(domino::SessionFactory(), m_temp.path());
    shell::Environment env;
    env.prompts = &m_prompts;
    auto w = std::make_unique<shell::MainWindow>(*m_workspace, std::move(env));
    w->resize(1024, 700);
    w->show();

    QTreeWidget* tree = w->databaseTree();
    auto* root = new QTreeWidgetItem(tree, {u"DOMINO01/Acme"_s});
    root->setIcon(0, shell::treeIcon(shell::TreeIcon::Server));
    auto* folder = new QTreeWidgetItem(root, {u"mail"_s});
    folder->setIcon(0, shell::treeIcon(shell::TreeIcon::Folder));
    auto* db = new QTreeWidgetItem(root, {u"客户关系.nsf"_s});
    db->setIcon(0, shell::treeIcon(shell::TreeIcon::Database));
    for (const QString& name : {u"全部"_s, u"按日期"_s, u"按客户"_s}) {
        auto* view = new QTreeWidgetItem(db, {name});
        view->setIcon(0, shell::treeIcon(shell::TreeIcon::View));
    }
    tree->expandAll();
    tree->setCurrentItem(db->child(0));

    shell::ListView* list = w->documentList();
    list->setViewStyle(shell::ListView::Style::Report);
    list->addColumn(u"文档ID"_s, 250);
    list->addColumn(u"客户名称"_s, 140);
    list->addColumn(u"日期"_s, 120);
    list->addColumn(u"金额"_s, 80);
    for (int i = 0; i < 12; ++i)
        list->addRow(u"%1"_s.arg(0x9A3F00C1u + unsigned(i) * 0x1111u, 32, 16, QChar(u'0')).toUpper(),
                     {u"上海某贸易公司%1"_s.arg(i + 1), u"2024-03-%1"_s.arg(i + 1, 2, 10, QChar(u'0')),
                      QString::number(1200 + i * 35)});
    list->selectRow(2);
    m_workspace->setViewCounted(u"全部"_s, 250);
    QApplication::processEvents();
    return w;
}

void TestShellScreenshots::save(const QImage& image, const QString& name)
{
    QVERIFY(!image.isNull());
    QVERIFY(image.save(QDir(m_folder).filePath(name)));
}

QImage TestShellScreenshots::withWindow(const QImage& base, const QWidget* host, QWidget* window)
{
    QImage out = base.convertToFormat(QImage::Format_ARGB32);
    QPainter p(&out);
    p.drawPixmap(window->pos() - host->geometry().topLeft(), window->grab());
    return out;
}

void TestShellScreenshots::mainWindow()
{
    auto w = populatedWindow();
    const QImage image = w->grab().toImage();
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(1024, 700));
    save(image, u"main-window.png"_s);
}

void TestShellScreenshots::about()
{
    shell::AboutDialog dialog(nullptr, [](const QUrl&) {});
    dialog.show();
    QApplication::processEvents();
    const QImage image = dialog.grab().toImage();
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::white));
    save(image, u"about.png"_s);
}

void TestShellScreenshots::progress()
{
    auto w = populatedWindow();
    shell::ProgressDisplay progress;
    progress.setHost(w.get());
    const QImage base = w->grab().toImage();

    progress.show();
    progress.setProgress(100, 40);
    QVERIFY(progress.window());
    QCOMPARE(progress.window()->panel()->grab().toImage().pixelColor(100, 4), QColor(231, 230, 216));
    save(withWindow(base, w.get(), progress.window()), u"progress.png"_s);
    progress.close();

    progress.showText(u"正在连接服务器，请稍候..."_s);
    save(withWindow(base, w.get(), progress.window()), u"progress-text.png"_s);
    progress.close();
}

QTEST_MAIN(TestShellScreenshots)
#include "tst_shell_screenshots.moc"
