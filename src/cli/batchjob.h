#pragma once

#include "cli/batchplan.h"
#include "domino/lazysession.h"
#include "workspace/workspace.h"

#include <memory>
#include <optional>

namespace quill::cli {

// One exporter's own Domino session and the database it has open: jobs that run at once share no
// Domino object (the component keeps one SQLite connection per database object).
class BatchJob
{
public:
    // With credentials the session signs in to the server; without, it opens local files.
    BatchJob(domino::SessionFactory factory, std::optional<workspace::Credentials> credentials);

    // As the window's connect and open-file commands do. Throws domino::DominoError.
    void signIn();
    // The database, opened as the tree opens it: a local file after the lock test, a server's by its
    // path. Throws platform::Error in the window's words.
    std::shared_ptr<domino::NotesDatabase> open(const DatabaseSource& database);
    domino::NotesSession& session() { return m_session; }

private:
    domino::LazySession m_session;
    std::optional<workspace::Credentials> m_credentials;
    const DatabaseSource* m_openSource = nullptr;
    std::shared_ptr<domino::NotesDatabase> m_open;
};

} // namespace quill::cli
