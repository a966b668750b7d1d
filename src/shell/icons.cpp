#include "shell/icons.h"

#include <array>

using namespace Qt::StringLiterals;

static void registerShellResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace quill::shell {
namespace {

// Files below :/shell/icons/; nullptr is an empty picture.
constexpr std::array<const char16_t*, 11> kToolbar = {
    u"import.svg",   u"exit.svg",     u"export.svg", u"openfile.svg", u"server.svg",   u"about.svg",
    u"prevpage.svg", u"nextpage.svg", nullptr,       nullptr,         u"document.svg",
};

constexpr std::array<const char16_t*, 4> kTree = {
    u"globe.svg",
    u"folder.svg",
    u"document.svg",
    u"view.svg",
};

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

QIcon toolbarImage(int index)
{
    if (index < 0 || index >= int(kToolbar.size()))
        return {};
    return load(kToolbar[size_t(index)]);
}

QIcon treeImage(int index)
{
    if (index < 0 || index >= int(kTree.size()))
        return {};
    return load(kTree[size_t(index)]);
}

QString logoResource()
{
    initShellResources();
    return u":/shell/icons/logo.svg"_s;
}

} // namespace quill::shell
