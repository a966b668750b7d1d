#pragma once

#include "domino/error.h"
#include "domino/lazysession.h"

#include <memory>

namespace quill::domino {

// Where a database is opened: on a server (the path below its data directory), or, with no server, the local
// file path.
struct DatabaseLocation
{
    QString server;
    QString path;
};

// A step of the session service that failed. message() is what the component said, as the general error handler
// shows it; sentence() is the program's own sentence for the step.
class SessionError : public DominoError
{
public:
    enum class Step
    {
        SignIn,
        ReachServer,
        OpenDatabase,
        FindView
    };

    SessionError(Step step, const QString& reason);
    ~SessionError() override;

    Step step() const { return m_step; }
    QString sentence() const { return sentence(m_step, message()); }
    // "连接服务器失败!", the reason itself (the component names the server), "访问数据库出错：" + the reason,
    // "连接视图出错:" + the reason.
    static QString sentence(Step step, const QString& reason);

private:
    Step m_step;
};

// A view found for a walk: held still (AutoUpdate false), so that other programs' writes move nothing in it,
// and its number of documents at that moment.
struct HeldView
{
    std::unique_ptr<NotesView> view;
    qint32 count = 0;
};

// What the window's browsing and quillmere-export do with their session, each written once: sign in, the lock
// test of a database file, open a database, find a view and count it.
class SessionService
{
public:
    explicit SessionService(SessionFactory factory);

    LazySession& session() { return m_session; }
    // Drops the session: the next step starts from a new one.
    void disconnect() { m_session.disconnect(); }

    // Throws SessionError when the component refuses.
    void signIn(const QString& userName, const QString& password);
    // Signs in on a new session and checks on it that the server answers; only then does it take the place of
    // the session there was, so that a refusal leaves that one as it was. Throws SessionError (SignIn,
    // ReachServer).
    void signInTo(const QString& server, const QString& userName, const QString& password);
    void signInLocally();
    // The lock test of a database file: what to say when another program holds it locked, else empty.
    static QString lockedMessage(const QString& path);
    // Throws SessionError.
    std::shared_ptr<NotesDatabase> openDatabase(const DatabaseLocation& location);
    // Throws SessionError, also for a view the database does not have.
    static HeldView findView(const NotesDatabase& database, const QString& name);

private:
    SessionFactory m_factory;
    LazySession m_session;
};

} // namespace quill::domino
