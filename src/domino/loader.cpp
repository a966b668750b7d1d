#include "domino/loader.h"

#include "domino/error.h"
#include "platform/registry.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <dlfcn.h>

using namespace Qt::StringLiterals;

namespace quill::domino {
namespace {

// Loaded libraries stay loaded for the process: sessions and their objects live in them. Sessions may
// be made on several threads at once (the batch exporter's jobs).
NlsxbeCreateSessionFn resolveEntryPoint(const QString& libraryPath)
{
    static QMutex mutex;
    const QMutexLocker locker(&mutex);
    static QHash<QString, NlsxbeCreateSessionFn> loaded;
    if (const auto it = loaded.constFind(libraryPath); it != loaded.constEnd())
        return it.value();

    const QFileInfo info(libraryPath);
    if (!info.isFile())
        throw DominoError(u"找不到Domino组件库文件："_s + libraryPath);
    void* handle = ::dlopen(QFile::encodeName(libraryPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        throw DominoError(u"无法加载Domino组件库"_s + libraryPath + u"："_s +
                          (reason ? QString::fromLocal8Bit(reason) : u"未知原因"_s));
    }
    auto entry = reinterpret_cast<NlsxbeCreateSessionFn>(::dlsym(handle, QUILL_NLSXBE_ENTRY_POINT));
    if (!entry) {
        throw DominoError(u"Domino组件库"_s + libraryPath + u"不是有效的组件：缺少入口"_s +
                          QLatin1StringView(QUILL_NLSXBE_ENTRY_POINT));
    }
    loaded.insert(libraryPath, entry);
    return entry;
}

QString registeredLibrary(const platform::Registry& registry)
{
    const QString key = QString::fromUtf16(kSessionClassKey);
    const std::optional<QString> path = registry.readString(key, QString());
    if (!path || path->trimmed().isEmpty())
        throw DominoError(u"Domino组件没有注册：注册表中找不到HKEY_LOCAL_MACHINE"_s + key + u"的默认值"_s);
    return path->trimmed();
}

} // namespace

std::unique_ptr<NotesSession> createRegisteredSession(const platform::Registry& registry)
{
    const NlsxbeCreateSessionFn entry = resolveEntryPoint(registeredLibrary(registry));
    std::unique_ptr<NotesSession> session(entry());
    if (!session)
        throw DominoError(u"无法创建Domino会话对象"_s);
    return session;
}

void verifyComponentLibrary(const QString& libraryPath)
{
    resolveEntryPoint(libraryPath);
}

SessionFactory registeredSessionFactory(const platform::Registry& registry)
{
    return [registry] { return createRegisteredSession(registry); };
}

} // namespace quill::domino
