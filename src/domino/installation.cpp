#include "domino/installation.h"

#include "domino/loader.h"
#include "platform/error.h"
#include "platform/registry.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quill::domino {
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
    return base + u'/' + QString::fromUtf16(kComponentFileName);
}

Registration writeRegistration(Registry& registry, const QString& file)
{
    try {
        registry.writeString(QString::fromUtf16(kSessionClassKey), QString(), file);
        return Registration::Written;
    } catch (const platform::Error&) {
        return Registration::Failed; // the registry store is unchanged; the caller tells the user
    }
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

Registration CheckNotesComponent(Registry& registry, const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(QString::fromUtf16(kFolderMissing)) ||
        folder == QString::fromUtf16(kNotInstalled))
        return Registration::Unchanged;

    const QString expected = componentPath(folder);
    const QString key = QString::fromUtf16(kSessionClassKey);
    if (!registry.openKey(key, Registry::Access::Read)) {
        // A folder that went away since it was looked up has nothing to register.
        if (!QFileInfo(folder).isDir())
            return Registration::Unchanged;
        return RegisterNotesComponent(registry, expected);
    }
    if (registry.readString(key, QString()).value_or(QString()) == expected)
        return Registration::Unchanged;
    return writeRegistration(registry, expected);
}

Registration RegisterNotesComponent(Registry& registry, const QString& file)
{
    if (!QFileInfo(file).isFile())
        return Registration::LibraryMissing;
    try {
        verifyComponentLibrary(file);
    } catch (const platform::Error&) {
        return Registration::Failed; // not a loadable component: nothing is registered
    }
    return writeRegistration(registry, file);
}

Registration StartupComponentCheck(Registry& registry)
{
    QString folder;
    if (NotesInstalled(registry))
        folder = NotesPath(registry);
    if (DominoInstalled(registry))
        folder = DominoPath(registry);
    return CheckNotesComponent(registry, folder);
}

} // namespace quill::domino
