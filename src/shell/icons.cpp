#include "shell/icons.h"

using namespace Qt::StringLiterals;

static void registerShellResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace quill::shell {
namespace {

// A file below :/shell/icons/; nullptr is an empty picture.
QIcon load(const char16_t* file)
{
    initShellResources();
    if (!file)
        return {};
    // The pictures have fixed motifs, so our own drawings are used rather than whatever a theme
    // offers under a similar name.
    return QIcon(u":/shell/icons/"_s + QString::fromUtf16(file));
}

} // namespace

void initShellResources()
{
    static const bool done = [] {
        registerShellResources();
        return true;
    }();
    (void)done;
}

QIcon toolbarIcon(ToolbarIcon icon)
{
    switch (icon) {
    case ToolbarIcon::Import:
        return load(u"import.svg");
    case ToolbarIcon::Exit:
        return load(u"exit.svg");
    case ToolbarIcon::Export:
        return load(u"export.svg");
    case ToolbarIcon::OpenFile:
        return load(u"openfile.svg");
    case ToolbarIcon::Server:
        return load(u"server.svg");
    case ToolbarIcon::About:
        return load(u"about.svg");
    case ToolbarIcon::PreviousPage:
        return load(u"prevpage.svg");
    case ToolbarIcon::NextPage:
        return load(u"nextpage.svg");
    case ToolbarIcon::FirstPage:
    case ToolbarIcon::LastPage:
        return {};
    case ToolbarIcon::Detail:
        return load(u"document.svg");
    }
    return {};
}

QIcon treeIcon(TreeIcon icon)
{
    switch (icon) {
    case TreeIcon::Server:
        return load(u"globe.svg");
    case TreeIcon::Folder:
        return load(u"folder.svg");
    case TreeIcon::Database:
        return load(u"document.svg");
    case TreeIcon::View:
        return load(u"view.svg");
    }
    return {};
}

QString logoResource()
{
    initShellResources();
    return u":/shell/icons/logo.svg"_s;
}

} // namespace quill::shell
