#pragma once

#include "domino/loader.h"
#include "domino/session.h"
#include "shell/listview.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QUrl;
class QTreeWidget;
class QTreeWidgetItem;
class QToolButton;

namespace quill::platform {
class Registry;
}

namespace quill::shell {

class Prompts;
class SplitterStrip;
class TfrmAbout;

// The program's whole working state, held by the one main window.
struct MainState
{
    qint32 lastX = 0;
    std::unique_ptr<domino::TNotesSession> notesSession;
    qint32 docPos = 0;
    std::unique_ptr<domino::TNotesDatabase> curDatabase;
    QString viewName;
    qint32 docCount = 0;
    QString appPath; // the program's folder, trailing "/"
    QString startNo;
    QString serverName;
    QString userName;
    QString password;
    QString dataPath;
    QString dbPath;
    int treeMode = 0; // 0 empty tree, 1 server data directory, 2 a single database file
};

// What the main window is given rather than finding it itself.
struct Environment
{
    Prompts* prompts = nullptr;
    platform::Registry* registry = nullptr;
    domino::SessionFactory sessionFactory;
    // Folder of system.ini, with a trailing "/"; empty means the executable's folder.
    QString appPath;
    // Whether the left mouse button is down right now; defaults to the platform's answer.
    std::function<bool()> leftButtonDown;
    // Opens the vendor's web page from the about dialog; defaults to the desktop's browser.
    std::function<void(const QUrl&)> openUrl;
};

// The general error handler's text: "." appended when the last character sorts after "." in byte
// order; an empty message stays empty.
QString errorBoxText(const QString& message);

// Narrowest the tree panel gets while the splitter is dragged, and the least the list keeps.
inline constexpr int kMinTreeWidth = 60;
inline constexpr int kMinListWidth = 60;

// Handlers of the commands that live in the browse and export layers.
class BrowseHandlers
{
public:
    virtual ~BrowseHandlers() = default;
    virtual void openserverExecute() = 0;
    virtual void openfileExecute() = 0;
    virtual void TreeView1Click() = 0;
    virtual void ToolButton7Click() = 0;  // first page
    virtual void ToolButton8Click() = 0;  // previous page
    virtual void ToolButton9Click() = 0;  // next page
    virtual void ToolButton10Click() = 0; // last page
    virtual void ListView1DblClick() = 0;
    virtual void ToolButton11Click() = 0; // document detail
};

class ExportHandlers
{
public:
    virtual ~ExportHandlers() = default;
    virtual void exportExecute() = 0;
};

class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(Environment environment, QWidget* parent = nullptr);
    ~TfrmMain() override;

    MainState& state() { return m_state; }
    Prompts& prompts() const { return *m_env.prompts; }
    platform::Registry& registry() const { return *m_env.registry; }

    void setBrowseHandlers(BrowseHandlers* handlers) { m_browse = handlers; }
    void setExportHandlers(ExportHandlers* handlers) { m_export = handlers; }

    // The general error handler: runs a command; an exception escaping it is shown in an error
    // box with the application title as caption, "." appended when the message's last character
    // sorts after "." in byte order. Returns false when the command failed that way.
    bool runCommand(const std::function<void()>& command);

    // Commands are disabled while an export runs.
    void setCommandsEnabled(bool enabled);

    // Start-up sequence; runs once, on first show.
    void FormShow();
    void ReadSettings();
    void WriteSettings();
    QString settingsFilePath() const;

    void Panel4MouseMove(int x);

    // Commands of the shell itself.
    void exitsystemExecute();
    void inportdataExecute();
    void aboutExecute();

    // Routed commands, each run through runCommand.
    void openserverExecute();
    void openfileExecute();
    void exportExecute();
    void TreeView1Click();
    void ToolButton7Click();
    void ToolButton8Click();
    void ToolButton9Click();
    void ToolButton10Click();
    void ListView1DblClick();
    void ToolButton11Click();

    // Controls the commands work on.
    QTreeWidget* TreeView1() const { return m_tree; }
    ListView* ListView1() const { return m_list; }
    QWidget* Panel2() const { return m_panel2; }
    QString statusPanelText(int panel) const;
    void setStatusPanelText(int panel, const QString& text);
    // Tree and list pictures by image number (0 globe, 1 folder, 2 database, 3 view).
    QIcon treeImage(int index) const;
    QAction*
    action(const QString& name) const; // "exitsystem", "openserver", "openfile", "export", "inportdata", "about"
    QToolButton* toolButton(const QString& name) const; // "ToolButton1" ... "ToolButton11"

    // Tree helpers shared by the commands.
    static int nodeLevel(const QTreeWidgetItem* node);

    QWidget* Panel4() const;
    // The about dialog, shown modally by aboutExecute; exposed so that it can be driven headless.
    TfrmAbout* createAboutDialog();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildMenu();
    void buildToolBar();
    void buildPanels();
    void FormCreate();
    void FormDestroy();
    // The executable's folder, or the one the environment gives, with a trailing "/".
    QString programFolder() const;

    Environment m_env;
    MainState m_state;
    BrowseHandlers* m_browse = nullptr;
    ExportHandlers* m_export = nullptr;
    bool m_shown = false;
    bool m_commandsEnabled = true;
    QList<QAction*> m_actions;
    QList<QToolButton*> m_toolButtons;

    QWidget* m_panel2 = nullptr;
    SplitterStrip* m_panel4 = nullptr;
    QTreeWidget* m_tree = nullptr;
    ListView* m_list = nullptr;
    QLabel* m_statusPanels[2] = {nullptr, nullptr};
};

} // namespace quill::shell
