#pragma once

#include "shell/listview.h"

#include <QMainWindow>
#include <functional>
#include <map>

class QAction;
class QLabel;
class QLineEdit;
class QUrl;
class QTreeWidget;
class QToolButton;

namespace quill::platform {
class Registry;
}

namespace quill::workspace {
class Workspace;
}

namespace quill::shell {

class AboutDialog;
class Prompts;

// What the main window is given rather than finding it itself.
struct Environment
{
    Prompts* prompts = nullptr;
    platform::Registry* registry = nullptr;
    // Whether the left mouse button is down right now; defaults to the platform's answer.
    std::function<bool()> leftButtonDown;
    // Opens the vendor's web page from the about dialog; defaults to the desktop's browser.
    std::function<void(const QUrl&)> openUrl;
    // The user guide's file (platform::userGuidePath), opened by 用户手册 in the 关于 menu and by F1.
    QString userGuide;
    // Opens a local file with the desktop's viewer; false when nothing could. Defaults to QDesktopServices.
    std::function<bool(const QUrl&)> openDocument;
};

// The general error handler's text: "." appended when the last character sorts after "." in byte
// order; an empty message stays empty.
QString errorBoxText(const QString& message);

// Narrowest the tree panel gets while the splitter is dragged, and the least the list keeps.
inline constexpr int kMinTreeWidth = 60;
inline constexpr int kMinListWidth = 60;

// The commands that live in the browse and export layers, which hand the window their handlers.
enum class Command
{
    OpenServer,
    OpenFile,
    Export,
    TreeClick,
    FirstPage,
    PreviousPage,
    NextPage,
    LastPage,
    ShowDetail,
    Search,      // Enter in the search box
    ClearSearch, // the search box emptied by the user
};

// The main window: menu, toolbar, the database tree, the document list and the status bar. It draws
// the workspace and runs the commands; the work is done by the layers that handle them.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(workspace::Workspace& workspace, Environment environment, QWidget* parent = nullptr);
    ~MainWindow() override;

    Prompts& prompts() const { return *m_env.prompts; }
    platform::Registry& registry() const { return *m_env.registry; }

    void setHandler(Command command, std::function<void()> handler);
    // Runs a command's handler through the general error handler; nothing while the commands are off
    // or when no handler is set.
    void trigger(Command command);

    // The general error handler: runs a command; an exception escaping it is shown in an error
    // box with the application title as caption, "." appended when the message's last character
    // sorts after "." in byte order. Returns false when the command failed that way.
    bool runCommand(const std::function<void()>& command);

    // Commands are off while an export runs.
    void setCommandsEnabled(bool enabled);

    // The strip between tree and list moved to x (in the central area's pixels): with the left
    // button down, the tree panel follows.
    void dragSplitter(int x);

    // Commands of the window itself.
    void exitProgram();
    void importData();
    void showAbout();
    // Opens the user guide with the desktop's viewer, or says why it cannot.
    void showUserGuide();
    // The about dialog, shown modally by showAbout; exposed so that it can be driven headless.
    AboutDialog* createAboutDialog();

    // The widgets the commands fill.
    QTreeWidget* databaseTree() const { return m_tree; }
    ListView* documentList() const { return m_list; }
    // The full-text search box above the list.
    QLineEdit* searchBox() const { return m_searchBox; }
    QWidget* treePanel() const { return m_treePanel; }
    QWidget* splitterStrip() const { return m_splitterStrip; }
    // 0: the service line; 1: the listed view and its number of documents.
    QString statusPanelText(int panel) const;
    // By object name: "exit", "openServer", "openFile", "export", "importData", "about", "userGuide".
    QAction* action(const QString& name) const;
    // By object name: the actions' names + "Button", and "detailButton", "firstPageButton",
    // "previousPageButton", "nextPageButton", "lastPageButton".
    QToolButton* toolButton(const QString& name) const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The start-up sequence; runs once, on first show.
    void startUp();
    void buildActions();
    void buildMenu();
    void buildToolBar();
    void buildPanels();
    QWidget* buildTreePanel(QWidget* parent);
    QWidget* buildListPanel(QWidget* parent);
    QWidget* buildStatusArea(QWidget* parent);
    void showViewListed(const QString& viewName, qint32 documentCount);
    void showListStyle();
    void showDatabaseViews();
    void showSearch(const QString& query);

    workspace::Workspace& m_workspace;
    Environment m_env;
    std::map<Command, std::function<void()>> m_handlers;
    bool m_shown = false;
    bool m_commandsEnabled = true;
    int m_lastX = 0;
    QList<QAction*> m_actions;
    QList<QToolButton*> m_toolButtons;

    QWidget* m_treePanel = nullptr;
    QWidget* m_splitterStrip = nullptr;
    QTreeWidget* m_tree = nullptr;
    ListView* m_list = nullptr;
    QLineEdit* m_searchBox = nullptr;
    QLabel* m_statusPanels[2] = {nullptr, nullptr};
};

} // namespace quill::shell
