#include "cli/batchjob.h"

#include "platform/error.h"

using namespace Qt::StringLiterals;

namespace quill::cli {

BatchJob::BatchJob(domino::SessionFactory factory, std::optional<workspace::Credentials> credentials,
                   std::mutex& openLock)
    : m_sessions(std::move(factory)), m_credentials(std::move(credentials)), m_openLock(openLock)
{
}

void BatchJob::signIn()
{
    if (!m_credentials) {
        m_sessions.signInLocally();
        return;
    }
    try {
        m_sessions.signIn(m_credentials->userName, m_credentials->password);
    } catch (const domino::SessionError& e) {
        // The window's sentence, with what the server said: nobody is there to try again.
        throw platform::Error(e.sentence() + u"（"_s + e.message() + u"）"_s);
    }
}

std::shared_ptr<domino::NotesDatabase> BatchJob::openDatabase(const DatabaseSource& database)
{
    if (m_openSource == &database)
        return m_open;
    m_open.reset();
    m_openSource = nullptr;
    const std::lock_guard lock(m_openLock);
    if (database.server.isEmpty())
        if (const QString locked = domino::SessionService::lockedMessage(database.path); !locked.isEmpty())
            throw platform::Error(locked);
    try {
        m_open = m_sessions.openDatabase({database.server, database.path});
    } catch (const domino::SessionError& e) {
        throw platform::Error(e.sentence());
    }
    m_openSource = &database;
    return m_open;
}

} // namespace quill::cli
