#include "domino/session.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::domino {

TNotesSession::TNotesSession(SessionFactory factory)
    : m_factory(std::move(factory))
{
}

void TNotesSession::Disconnect()
{
    m_session.reset();
}

NotesSession& TNotesSession::session()
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

void TNotesSession::InitUserSession(const QString& userName, const QString& password)
{
    session().InitUserSession(userName, password);
}

void TNotesSession::InitLocalSession(const QString& text)
{
    session().InitLocalSession(text);
}

std::shared_ptr<NotesDatabase> TNotesSession::OpenDatabase(const QString& server, const QString& path, bool flag)
{
    return session().OpenDatabase(server, path, flag);
}

ValueList TNotesSession::EvaluateFormula(const QString& formula, const NotesDocument& document)
{
    return session().EvaluateFormula(formula, document);
}

const NotesDatabase& TNotesDatabase::database() const
{
    if (!m_database)
        throw DominoError(u"数据库对象尚未连接到Domino数据库"_s);
    return *m_database;
}

QStringList TNotesDatabase::Views() const
{
    return database().Views();
}

std::unique_ptr<NotesView> TNotesDatabase::FindView(const QString& name) const
{
    return database().FindView(name);
}

std::unique_ptr<NotesDocument> TNotesDatabase::FindDocumentById(const QString& documentId) const
{
    return database().FindDocumentById(documentId);
}

} // namespace quill::domino
