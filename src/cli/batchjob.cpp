#include "cli/batchjob.h"

#include "domino/error.h"
#include "platform/error.h"
#include "platform/files.h"

using namespace Qt::StringLiterals;

namespace quill::cli {

BatchJob::BatchJob(domino::SessionFactory factory, std::optional<workspace::Credentials> credentials,
                   std::mutex& openLock)
    : m_session(std::move(factory)), m_credentials(std::move(credentials)), m_openLock(openLock)
{
}

void BatchJob::signIn()
{
    if (!m_credentials) {
        m_session.InitLocalSession(QString());
        return;
    }
    try {
        m_session.InitUserSession(m_credentials->userName, m_credentials->password);
    } catch (const std::exception& e) {
        throw platform::Error(u"连接服务器失败!（"_s + platform::messageOf(e) + u"）"_s);
    }
}

std::shared_ptr<domino::NotesDatabase> BatchJob::open(const DatabaseSource& database)
{
    if (m_openSource == &database)
        return m_open;
    m_open.reset();
    m_openSource = nullptr;
    const std::lock_guard lock(m_openLock);
    if (database.server.isEmpty() && platform::IsFileLocked(database.path))
        throw platform::Error(u"文件"_s + database.path + u"正在被其它程序锁定，无法打开!"_s);
    try {
        m_open = m_session.OpenDatabase(database.server, database.path, false);
    } catch (const domino::DominoError& e) {
        throw platform::Error(u"访问数据库出错："_s + e.message());
    }
    m_openSource = &database;
    return m_open;
}

} // namespace quill::cli
