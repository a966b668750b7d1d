#include "shell/installation.h"

#include "domino/loader.h"
#include "platform/registry.h"
#include "shell/prompts.h"
#include "shell/vendor.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quill::shell {
namespace {

using platform::Registry;

QString folderValue(const Registry& registry, const QString& key, const QString& name, const QString& absent)
{
    if (!registry.openKey(key, Registry::Access::Read))
        return absent;
    const QString folder = registry.readString(key, name).value_or(QString());
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return folder + QString::fromUtf16(kFolderMissing);
}

QString componentPath(const QString& folder)
{
    QString base = folder;
    // "/opt/domino/" and "/opt/domino" name the same library; keep one spelling so that the
    // registration is not rewritten at every start.
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    if (base == u"/"_s)
        base.clear();
    return base + u'/' + QString::fromUtf16(domino::kComponentFileName);
}

void registrationFailed(Prompts& prompts)
{
    prompts.showMessage(u"您好，系统在注册domino组件时失败，或许是您的系统对权限的限制，请联系"_s +
                        QString::fromUtf16(kSupportContact) + u"帮您解决。免费！"_s);
}

} // namespace

bool DominoInstalled(const Registry& registry)
{
    return registry.openKey(QString::fromUtf16(kDominoKey), Registry::Access::Read);
}

bool NotesInstalled(const Registry& registry)
{
    return registry.openKey(QString::fromUtf16(kNotesKey), Registry::Access::Read);
}

QString DominoPath(const Registry& registry)
{
    return folderValue(registry, QString::fromUtf16(kDominoKey), u"Path"_s, QString::fromUtf16(kNotInstalled));
}

QString DominoDataPath(const Registry& registry)
{
    return folderValue(registry, QString::fromUtf16(kDominoKey), u"DataPath"_s, QString::fromUtf16(kNotInstalled));
}

QString NotesPath(const Registry& registry)
{
    return folderValue(registry, QString::fromUtf16(kNotesKey), u"Path"_s, QString());
}

bool CheckNotesComponent(Registry& registry, Prompts& prompts, const QString& folder)
{
    // No installation found, or its folder is gone: a registration made from that would only
    // damage one that may still work, so it is left alone.
    if (folder.isEmpty() || folder.endsWith(QString::fromUtf16(kFolderMissing)) ||
        folder == QString::fromUtf16(kNotInstalled))
        return true;

    const QString expected = componentPath(folder);
    const QString key = QString::fromUtf16(domino::kSessionClassKey);
    if (registry.openKey(key, Registry::Access::Read)) {
        if (registry.readString(key, QString()).value_or(QString()) != expected) {
            try {
                registry.writeString(key, QString(), expected);
            } catch (...) {
                registrationFailed(prompts);
            }
        }
        return true;
    }
    if (QDir::setCurrent(folder))
        RegisterNotesComponent(registry, prompts, expected);
    return true;
}

void RegisterNotesComponent(Registry& registry, Prompts& prompts, const QString& file)
{
    try {
        if (!QFileInfo(file).isFile()) {
            prompts.showMessage(u"找不到您系统上Domino的一个关键组件，请确认您的Domino或NOtes安装正常!或联系"_s +
                                QString::fromUtf16(kSupportContact) + u"帮您免费解决!"_s);
            return;
        }
        domino::verifyComponentLibrary(file);
        registry.writeString(QString::fromUtf16(domino::kSessionClassKey), QString(), file);
    } catch (...) {
        registrationFailed(prompts);
    }
}

void StartupComponentCheck(Registry& registry, Prompts& prompts)
{
    QString folder;
    if (NotesInstalled(registry))
        folder = NotesPath(registry);
    if (DominoInstalled(registry))
        folder = DominoPath(registry);
    CheckNotesComponent(registry, prompts, folder);
}

} // namespace quill::shell
