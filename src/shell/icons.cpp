#include "shell/icons.h"

#include <array>

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
    // In the order of ToolbarIcon; the first-page and last-page pictures are empty.
    static constexpr std::array<const char16_t*, 11> files = {
        u"import.svg",   u"exit.svg",     u"export.svg", u"openfile.svg", u"server.svg",   u"about.svg",
        u"prevpage.svg", u"nextpage.svg", nullptr,       nullptr,         u"document.svg",
    };
    return load(files.at(static_cast<size_t>(icon)));
}

QIcon treeIcon(TreeIcon icon)
{
    // In the order of TreeIcon.
    static constexpr std::array<const char16_t*, 4> files = {u"globe.svg", u"folder.svg", u"document.svg", u"view.svg"};
    return load(files.at(static_cast<size_t>(icon)));
}

QString logoResource()
{
    initShellResources();
    return u":/shell/icons/logo.svg"_s;
}

} // namespace quill::shell
