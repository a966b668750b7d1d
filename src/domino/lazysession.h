#pragma once

#include "domino/loader.h"
#include "domino/notes.h"

#include <memory>

namespace quill::domino {

// The program's one session: creating it reaches nothing; the component is loaded and the session
// made on the first operation. disconnect() drops the link so that the next operation starts from
// a fresh session.
class LazySession : public NotesSession
{
public:
    explicit LazySession(SessionFactory factory);

    void disconnect();
    // Takes over other's session (other is left without one), dropping its own.
    void takeOver(LazySession& other) { m_session = std::move(other.m_session); }
    bool isConnected() const { return m_session != nullptr; }

    void InitUserSession(const QString& userName, const QString& password) override;
    void InitLocalSession(const QString& text) override;
    std::shared_ptr<NotesDatabase> OpenDatabase(const QString& server, const QString& path, bool flag) override;
    ValueList EvaluateFormula(const QString& formula, const NotesDocument& document) override;
    void pingServer(const QString& server) override;

private:
    NotesSession& session();

    SessionFactory m_factory;
    std::unique_ptr<NotesSession> m_session;
};

} // namespace quill::domino
