#pragma once

#include "cli/batchplan.h"
#include "domino/sessionservice.h"
#include "workspace/workspace.h"

#include <memory>
#include <mutex>
#include <optional>

namespace quill::cli {

// One exporter's own Domino session and the database it has open: jobs that run at once share no
// Domino object (the component keeps one SQLite connection per database object).
class BatchJob
{
public:
    // With credentials the session signs in to the server; without, it opens local files. Jobs that run
    // at once open databases one at a time under openLock: the lock test's probe of a file must not
    // close a descriptor while another job opens that file (closing any descriptor of a file drops
    // every lock this process holds on it, SQLite's among them).
    BatchJob(domino::SessionFactory factory, std::optional<workspace::Credentials> credentials, std::mutex& openLock);

    // As the window's connect and open-file commands do. Throws platform::Error, naming the server when
    // the login to one fails.
    void signIn();
    // The database, opened as the tree opens it: a local file after the lock test, a server's by its
    // path. Throws platform::Error in the window's words.
    std::shared_ptr<domino::NotesDatabase> openDatabase(const DatabaseSource& database);
    domino::NotesSession& session() { return m_sessions.session(); }

private:
    domino::SessionService m_sessions;
    std::optional<workspace::Credentials> m_credentials;
    std::mutex& m_openLock;
    const DatabaseSource* m_openSource = nullptr;
    std::shared_ptr<domino::NotesDatabase> m_open;
};

} // namespace quill::cli
