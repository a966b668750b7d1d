#include "domino/lazysession.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::domino {

LazySession::LazySession(SessionFactory factory) : m_factory(std::move(factory)) {}

void LazySession::disconnect()
{
    m_session.reset();
}

NotesSession& LazySession::session()
{
    if (!m_session) {
        if (!m_factory)
            throw DominoError(u"Domino组件不可用"_s);
        m_session = m_factory();
        if (!m_session)
            throw DominoError(u"无法创建Domino会话对象"_s);
    }
    return *m_session;
}

void LazySession::InitUserSession(const QString& userName, const QString& password)
{
    session().InitUserSession(userName, password);
}

void LazySession::InitLocalSession(const QString& text)
{
    session().InitLocalSession(text);
}

std::shared_ptr<NotesDatabase> LazySession::OpenDatabase(const QString& server, const QString& path, bool flag)
{
    return session().OpenDatabase(server, path, flag);
}

ValueList LazySession::EvaluateFormula(const QString& formula, const NotesDocument& document)
{
    return session().EvaluateFormula(formula, document);
}

void LazySession::pingServer(const QString& server)
{
    session().pingServer(server);
}

} // namespace quill::domino
