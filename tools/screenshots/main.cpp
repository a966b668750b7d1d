// quillmere-screenshots [folder]: draws the pictures of docs/screenshots (or of the folder given) from
// the program's own windows, offscreen, on a fresh sample installation through the real component.
#include "browse/browser.h"
#include "browse/connectiondialog.h"
#include "browse/documentdetaildialog.h"
#include "browse/richtextviewer.h"
#include "domino/loader.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "shell/aboutdialog.h"
#include "shell/listview.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/progresswindow.h"
#include "shell/prompts.h"
#include "workspace/workspace.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

// The sample installation's server and user, as nlsxbe-admin makes them.
const QString kServer = u"QUILLSERVER"_s;
const QString kUser = u"演示用户"_s;
const QString kPassword = u"quill123"_s;

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "quillmere-screenshots: %s\n", qPrintable(why));
    std::exit(1);
}

// Answers the open dialog with a chosen file. Any message would stand in the picture: it is a failure.
class ToolPrompts : public shell::Prompts
{
public:
    QString fileToOpen;

    void showMessage(const QString& text) override { fail(u"the program said: "_s + text); }
    void showError(const QString& text) override { fail(u"the program reported an error: "_s + text); }
    bool askOkCancel(const QString&, const QString&) override { return false; }
    std::optional<QString> getOpenFileName(const QString&) override { return fileToOpen; }
    std::optional<QString> getSaveFileName(const QString&, int*) override { return std::nullopt; }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
};

// Without a font that has Chinese glyphs every character is drawn as the same empty box.
bool chineseGlyphsRender()
{
    QLabel a(u"客"_s);
    QLabel b(u"服"_s);
    a.resize(40, 30);
    b.resize(40, 30);
    return a.grab().toImage() != b.grab().toImage();
}

void runAdmin(const QStringList& arguments)
{
    QProcess admin;
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH), arguments);
    if (!admin.waitForFinished(120000) || admin.exitStatus() != QProcess::NormalExit || admin.exitCode() != 0)
        fail(u"nlsxbe-admin "_s + arguments.join(u' ') + u" failed: "_s +
             QString::fromLocal8Bit(admin.readAllStandardError()));
}

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& caption)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == caption)
            return node->child(i);
    fail(u"no node "_s + caption);
}

// Runs action on the next modal dialog once its own event loop is up.
void onNextDialog(std::function<void(QDialog*)> action)
{
    QTimer::singleShot(10, [action = std::move(action)]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return onNextDialog(std::move(action));
        action(dialog);
    });
}

// A folder made empty for the run and removed after it.
class WorkFolder
{
public:
    explicit WorkFolder(QString path) : m_path(std::move(path))
    {
        QDir(m_path).removeRecursively();
        if (!QDir().mkpath(m_path))
            fail(u"cannot make "_s + m_path);
    }
    ~WorkFolder() { QDir(m_path).removeRecursively(); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }

private:
    QString m_path;
};

class Pictures
{
public:
    explicit Pictures(QString folder) : m_folder(std::move(folder)) {}

    void save(const QImage& image, const QString& name)
    {
        const QString path = QDir(m_folder).filePath(name);
        if (image.isNull() || !image.save(path))
            fail(u"cannot write "_s + path);
        std::printf("%s\n", qPrintable(path));
    }
    void save(QWidget* widget, const QString& name)
    {
        // A page read lays the list out later (its scroll bars among it): the picture waits until that is done.
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        save(widget->grab().toImage(), name);
    }
    // A frameless window drawn over the picture of the window it stands on.
    void saveOver(const QImage& base, const QWidget* host, QWidget* window, const QString& name)
    {
        QImage out = base.convertToFormat(QImage::Format_ARGB32);
        QPainter p(&out);
        p.drawPixmap(window->pos() - host->geometry().topLeft(), window->grab());
        p.end();
        save(out, name);
    }

private:
    QString m_folder;
};

struct Program
{
    platform::Registry registry;
    ToolPrompts prompts;
    workspace::Workspace workspace;
    shell::MainWindow window;
    shell::ProgressDisplay progress;
    browse::Browser browser;

    Program(const QString& registryFile, const QString& settingsFolder)
        : registry(registryFile), workspace(domino::registeredSessionFactory(registry), settingsFolder),
          window(
              workspace,
              shell::Environment{
                  &prompts, &registry, [] { return false; }, [](const QUrl&) {}, {}, [](const QUrl&) { return true; }}),
          browser(window, workspace, progress)
    {
        browser.attachCommands();
        progress.setHost(&window);
    }

    QTreeWidgetItem* root() const { return window.databaseTree()->topLevelItem(0); }
    void click(QTreeWidgetItem* node)
    {
        window.databaseTree()->setCurrentItem(node);
        window.trigger(shell::Command::TreeClick);
    }
    // Lists a view of a database node of the server tree, the window at the size of the picture: the
    // list shares its width among the columns when a page is read.
    void listView(QTreeWidgetItem* database, const QString& view, QSize size)
    {
        window.resize(size);
        QApplication::processEvents();
        click(database);
        click(child(database, view));
    }
};

void connectToServer(Program& program, Pictures& pictures)
{
    onNextDialog([&](QDialog* dialog) {
        auto* connection = qobject_cast<browse::ConnectionDialog*>(dialog);
        if (!connection)
            fail(u"the connection dialog did not open"_s);
        connection->serverEdit()->setText(kServer);
        connection->userEdit()->setText(kUser);
        connection->passwordEdit()->setText(kPassword);
        pictures.save(connection, u"connect.png"_s);
        connection->confirm();
    });
    program.window.trigger(shell::Command::OpenServer);
}

void listedCustomers(Program& program, Pictures& pictures)
{
    program.listView(child(program.root(), u"crm.nsf"_s), u"全部"_s, QSize(1024, 700));
    program.window.documentList()->selectRow(2);
    pictures.save(&program.window, u"main-window.png"_s);

    const QImage base = program.window.grab().toImage();
    program.progress.show();
    program.progress.setProgress(100, 40);
    pictures.saveOver(base, &program.window, program.progress.window(), u"progress.png"_s);
    program.progress.close();
    program.progress.showText(u"正在连接Domino服务器"_s);
    pictures.saveOver(base, &program.window, program.progress.window(), u"progress-text.png"_s);
    program.progress.close();

    onNextDialog([&](QDialog* dialog) {
        pictures.save(dialog, u"detail.png"_s);
        dialog->accept();
    });
    program.window.trigger(shell::Command::ShowDetail);
}

// The customers of the listed view that a full-text search finds, typed into the box above the list.
void searchedCustomers(Program& program, Pictures& pictures)
{
    QLineEdit* box = program.window.searchBox();
    box->setText(u"张三 NOT 北京"_s);
    program.window.trigger(shell::Command::Search);
    program.window.documentList()->selectRow(0);
    pictures.save(&program.window, u"search.png"_s);
}

void contractsOnTheServer(Program& program, Pictures& pictures)
{
    QTreeWidgetItem* business = child(program.root(), u"业务"_s);
    program.listView(child(business, u"合同管理.nsf"_s), u"合同列表"_s, QSize(825, 606));
    program.root()->setExpanded(true);
    business->setExpanded(true);
    pictures.save(&program.window, u"server-tree.png"_s);
}

void customersInAFile(Program& program, Pictures& pictures, const QString& file)
{
    program.prompts.fileToOpen = file;
    program.window.trigger(shell::Command::OpenFile);
    program.click(child(program.root(), u"全部"_s));
    program.root()->setExpanded(true);
    pictures.save(&program.window, u"file-tree.png"_s);
}

// The archive's rich-text memo, opened from its row of the detail dialog in the viewer.
void richTextInTheViewer(Program& program, Pictures& pictures, const QString& file)
{
    program.prompts.fileToOpen = file;
    program.window.trigger(shell::Command::OpenFile);
    program.click(child(program.root(), u"归档文档"_s));
    program.window.documentList()->selectRow(0);
    onNextDialog([&](QDialog* dialog) {
        auto* detail = qobject_cast<browse::DocumentDetailDialog*>(dialog);
        if (!detail)
            fail(u"the detail dialog did not open"_s);
        browse::RichTextViewer* viewer = nullptr;
        for (int item = 0; item < 100 && !viewer; ++item)
            viewer = detail->openBody(item);
        if (!viewer)
            fail(u"the archive's memo has no body for the viewer"_s);
        viewer->resize(760, 680);
        QApplication::processEvents();
        pictures.save(viewer, u"richtext-viewer.png"_s);
        viewer->close();
        dialog->accept();
    });
    program.window.trigger(shell::Command::ShowDetail);
}

// The 关于 menu opened over the window, with the user guide's item.
void guideInTheMenu(Program& program, Pictures& pictures)
{
    QMenuBar* bar = program.window.menuBar();
    auto* menu = program.window.findChild<QMenu*>(u"aboutMenu"_s);
    if (!menu)
        fail(u"the about menu is missing"_s);
    const QImage base = program.window.grab().toImage();
    menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    pictures.saveOver(base, &program.window, menu, u"guide-menu.png"_s);
    menu->hide();
}

} // namespace

int main(int argc, char* argv[])
{
    // The same pictures on every machine, with or without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUILL_SCREENSHOT_FOLDER);
    if (!QDir().mkpath(folder))
        fail(u"cannot make "_s + folder);
    if (!chineseGlyphsRender())
        fail(u"no font with Chinese glyphs is installed"_s);

    // A working folder of a fixed name, so that the server tree's root reads the same at every run. The
    // component finds the data directory through the registry at its usual place: a private one.
    const WorkFolder tmp(QDir::temp().filePath(u"quillmere-screenshots"_s));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(u"config"_s)));
    const QString registryFile = platform::registryFilePath();
    const QString sample = tmp.filePath(u"sample"_s);
    const QString library = QStringLiteral(QUILL_COMPONENT_PATH);
    runAdmin({u"sample"_s, sample});
    runAdmin({u"install"_s, u"--domino"_s, QFileInfo(library).absolutePath(), u"--data"_s, sample, u"--library"_s,
              library, u"--registry"_s, registryFile});
    QDir().mkpath(tmp.filePath(u"app"_s));

    Pictures pictures(folder);
    Program program(registryFile, tmp.filePath(u"app"_s));
    program.window.resize(825, 606);
    program.window.show();
    connectToServer(program, pictures);
    listedCustomers(program, pictures);
    searchedCustomers(program, pictures);
    contractsOnTheServer(program, pictures);
    customersInAFile(program, pictures, sample + u"/crm.nsf"_s);
    richTextInTheViewer(program, pictures, sample + u"/业务/归档/2025归档.nsf"_s);
    guideInTheMenu(program, pictures);

    shell::AboutDialog about(nullptr, [](const QUrl&) {});
    about.show();
    pictures.save(&about, u"about.png"_s);
    return 0;
}
