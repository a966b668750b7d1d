#pragma once

#include "domino/loader.h"
#include "domino/notes.h"

#include <memory>

namespace quill::domino {

// The main window's notesSession: creating it reaches nothing; the component is loaded and the
// session made on the first operation. Disconnect() drops the link so that the next operation
// starts from a fresh session.
class TNotesSession : public NotesSession
{
public:
    explicit TNotesSession(SessionFactory factory);

    void Disconnect();
    bool IsConnected() const { return m_session != nullptr; }

    void InitUserSession(const QString& userName, const QString& password) override;
    void InitLocalSession(const QString& text) override;
    std::shared_ptr<NotesDatabase> OpenDatabase(const QString& server, const QString& path, bool flag) override;
    ValueList EvaluateFormula(const QString& formula, const NotesDocument& document) override;

private:
    NotesSession& session();

    SessionFactory m_factory;
    std::unique_ptr<NotesSession> m_session;
};

// The main window's curDatabase: empty until bound to a database another operation returned.
class TNotesDatabase : public NotesDatabase
{
public:
    void ConnectTo(std::shared_ptr<NotesDatabase> database) { m_database = std::move(database); }
    void Disconnect() { m_database.reset(); }
    bool IsConnected() const { return m_database != nullptr; }
    const std::shared_ptr<NotesDatabase>& Target() const { return m_database; }

    QStringList Views() const override;
    std::unique_ptr<NotesView> FindView(const QString& name) const override;
    std::unique_ptr<NotesDocument> FindDocumentById(const QString& documentId) const override;

private:
    const NotesDatabase& database() const;

    std::shared_ptr<NotesDatabase> m_database;
};

} // namespace quill::domino
