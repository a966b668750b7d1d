#include "app/exportcommand.h"
#include "browse/browser.h"
#include "domino/loader.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/version.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/qtprompts.h"
#include "shell/vendor.h"
#include "workspace/workspace.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(quill::shell::kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    // Ties the windows to the installed desktop entry, and takes its icon from the theme when there is one.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUILL_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(QUILL_APP_ID), QIcon(u":/app/quillmere.svg"_s)));

    // Everything the user sees is Chinese, Qt's own dialogs included, whatever the system locale.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    quill::platform::Registry registry(quill::platform::registryFilePath());
    quill::shell::QtPrompts prompts;
    quill::workspace::Workspace workspace(quill::domino::registeredSessionFactory(registry));

    quill::shell::Environment env;
    env.prompts = &prompts;
    env.registry = &registry;
    env.userGuide = quill::platform::userGuidePath(quill::platform::applicationFolder());
    quill::shell::MainWindow window(workspace, env);
    prompts.setParentWidget(&window);
    quill::shell::ProgressDisplay progress;
    progress.setHost(&window);

    quill::browse::Browser browser(window, workspace, progress);
    quill::app::ExportCommand exportCommand(window, workspace, progress);
    browser.attachCommands();
    exportCommand.attachCommands();

    // A maximise request is only a hint that no window manager may be there to honour; giving the
    // window the screen's available area as well fills the screen either way.
    if (const QScreen* screen = window.screen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    return QApplication::exec();
}
