#pragma once

#include "browse/browser.h"
#include "domino/installation.h"
#include "fakedomino.h"
#include "platform/registry.h"
#include "scriptedprompts.h"
#include "shell/listview.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

namespace quill::testing {

using namespace Qt::StringLiterals;

// Scripted prompts that also let a test look at the window at the moment a message appears.
struct WatchedPrompts : ScriptedPrompts
{
    std::function<void(const QString&)> onMessage;
    void showMessage(const QString& text) override
    {
        if (onMessage)
            onMessage(text);
        ScriptedPrompts::showMessage(text);
    }
};

// A main window with the browse commands attached, a scripted user, the in-memory Domino and a
// registry saying that Domino is installed with its data directory in a temporary folder.
struct BrowseFixture
{
    QTemporaryDir dir;
    FakeDomino domino;
    WatchedPrompts prompts;
    shell::ProgressDisplay progress;
    std::unique_ptr<platform::Registry> registry;
    std::unique_ptr<workspace::Workspace> workspace;
    std::unique_ptr<shell::MainWindow> window;
    std::unique_ptr<browse::Browser> browser;
    FakeDatabase* counted = nullptr;

    explicit BrowseFixture(bool installed = true, const QString& settingsFolder = {})
    {
        QDir(dir.path()).mkpath(u"data"_s);
        QDir(dir.path()).mkpath(u"domino"_s);
        QDir(dir.path()).mkpath(u"app"_s);
        registry = std::make_unique<platform::Registry>(dir.filePath(u"registry.reg"_s));
        if (installed) {
            registry->writeString(QString::fromUtf16(domino::kDominoKey), u"Path"_s, dir.filePath(u"domino"_s));
            registry->writeString(QString::fromUtf16(domino::kDominoKey), u"DataPath"_s, dataPath());
        }
        workspace = std::make_unique<workspace::Workspace>(
            domino.sessionFactory(), settingsFolder.isEmpty() ? dir.filePath(u"app/"_s) : settingsFolder);
        shell::Environment env;
        env.prompts = &prompts;
        env.registry = registry.get();
        env.leftButtonDown = [] { return false; };
        window = std::make_unique<shell::MainWindow>(*workspace, std::move(env));
        browser = std::make_unique<browse::Browser>(*window, *workspace, progress);
        browser->attachCommands();
        window->resize(825, 606);
        window->show();
        prompts.shown.clear();
    }

    ~BrowseFixture()
    {
        window.reset();
        browser.reset();
    }

    QString dataPath() const { return dir.filePath(u"data"_s); }
    QTreeWidget* tree() { return window->databaseTree(); }
    shell::ListView* list() { return window->documentList(); }
    void run(shell::Command command) { window->trigger(command); }
    void setServerName(const QString& name)
    {
        workspace::Credentials credentials = workspace->credentials();
        credentials.serverName = name;
        workspace->setCredentials(credentials);
    }

    QStringList listedIds()
    {
        QStringList ids;
        for (int r = 0; r < list()->rowCount(); ++r)
            ids << list()->rowCaption(r);
        return ids;
    }

    // Opens a database file through the open dialog and clicks one of its views.
    void openFileAndList(const QString& fileName, const QString& viewName)
    {
        prompts.openAnswers.push_back(fileName);
        run(shell::Command::OpenFile);
        QTreeWidgetItem* root = tree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            if (root->child(i)->text(0) == viewName)
                click(root->child(i));
    }

    // What a listed view of some documents leaves behind, listed without the tree (a file of its own), so that a
    // test sees what a later command does to the count. Domino's calls are forgotten again.
    void listCounted(int documents = 5)
    {
        const QString file = u"/elsewhere/counted.nsf"_s;
        if (!counted) {
            counted = &domino.addDatabase(file);
            counted->addView(u"v"_s);
            for (int i = 0; i < documents; ++i)
                counted->addDocument();
        }
        std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
        session->InitLocalSession(QString());
        listAndLoad(*workspace, session->OpenDatabase(QString(), file, false), u"v"_s, {QString(), file});
        domino.clearCalls();
    }

    void click(QTreeWidgetItem* node)
    {
        tree()->setCurrentItem(node);
        run(shell::Command::TreeClick);
    }
};

// Ids of the documents at view positions from..to (counted from 1).
inline QStringList idsOf(const FakeDatabase& db, int from, int to)
{
    QStringList ids;
    for (int i = from; i <= to; ++i)
        ids << db.documents.at(static_cast<size_t>(i - 1))->id;
    return ids;
}

// Runs action on the next modal dialog once its event loop is up, then closes it if the action
// left it open, so that a failed check never hangs the test.
inline void whenModal(std::function<void(QDialog*)> action, int tries = 300)
{
    QTimer::singleShot(5, [action = std::move(action), tries]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (tries > 0)
                whenModal(std::move(action), tries - 1);
            return;
        }
        action(dialog);
        if (dialog->isVisible())
            dialog->done(QDialog::Rejected);
    });
}

} // namespace quill::testing
