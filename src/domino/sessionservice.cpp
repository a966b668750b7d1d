#include "domino/sessionservice.h"

#include "platform/files.h"

using namespace Qt::StringLiterals;

namespace quill::domino {

SessionError::SessionError(Step step, const QString& reason) : DominoError(reason), m_step(step) {}

SessionError::~SessionError() = default;

QString SessionError::sentence(Step step, const QString& reason)
{
    switch (step) {
    case Step::SignIn:
        return u"连接服务器失败!"_s;
    case Step::ReachServer:
        return reason;
    case Step::OpenDatabase:
        return u"访问数据库出错："_s + reason;
    case Step::FindView:
        return u"连接视图出错:"_s + reason;
    }
    return reason;
}

SessionService::SessionService(SessionFactory factory) : m_factory(factory), m_session(std::move(factory)) {}

void SessionService::signIn(const QString& userName, const QString& password)
{
    try {
        m_session.InitUserSession(userName, password);
    } catch (const DominoError& e) {
        throw SessionError(SessionError::Step::SignIn, e.message());
    }
}

void SessionService::signInTo(const QString& server, const QString& userName, const QString& password)
{
    LazySession candidate(m_factory);
    try {
        candidate.InitUserSession(userName, password);
    } catch (const DominoError& e) {
        throw SessionError(SessionError::Step::SignIn, e.message());
    }
    try {
        candidate.pingServer(server);
    } catch (const DominoError& e) {
        throw SessionError(SessionError::Step::ReachServer, e.message());
    }
    m_session.takeOver(candidate);
}

void SessionService::signInLocally()
{
    m_session.InitLocalSession(QString());
}

QString SessionService::lockedMessage(const QString& path)
{
    return platform::IsFileLocked(path) ? u"文件"_s + path + u"正在被其它程序锁定，无法打开!"_s : QString();
}

std::shared_ptr<NotesDatabase> SessionService::openDatabase(const DatabaseLocation& location)
{
    try {
        return m_session.OpenDatabase(location.server, location.path, false);
    } catch (const DominoError& e) {
        throw SessionError(SessionError::Step::OpenDatabase, e.message());
    }
}

HeldView SessionService::findView(const NotesDatabase& database, const QString& name)
{
    try {
        HeldView held;
        held.view = database.FindView(name);
        if (!held.view)
            throw DominoError(u"找不到视图："_s + name);
        // The reads of a walk let writers in between them: positions that followed their changes would give
        // some documents twice and leave others out.
        held.view->SetAutoUpdate(false);
        held.count = held.view->EntryCount();
        return held;
    } catch (const DominoError& e) {
        throw SessionError(SessionError::Step::FindView, e.message());
    }
}

} // namespace quill::domino
