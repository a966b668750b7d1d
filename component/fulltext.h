#pragma once

// The full-text index of a database (FTSearch), in tables of its file that it may lack: without them the
// database is not indexed yet, and is searched by reading every document.
//   fulltext_text(doc_id, text)  each indexed document's text as domino::searchText gives it;
//   fulltext                     an FTS5 table over that text (trigram tokenizer, case-sensitive since the text is
//                                folded already, detail=none): it gives the candidates of terms of three
//                                characters or more;
//   fulltext_waiting(doc_id)     the documents written since they were indexed, kept by the file's own triggers
//                                on documents, items and attachments, so that every writer (an older tool or
//                                another program among them) leaves a trace.
// A search takes the candidates the index gives, or every indexed document when its terms are shorter, and
// decides each by its text with domino::FTQuery::matches; documents waiting are decided from their items. An
// index changes how fast documents are found, never which.

#include "domino/ftsearch.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace quill::component {
class Store;
}

namespace quill::component::fulltext {

bool exists(Store& store);

// For the admin tool, in its write transaction after documents were written: makes the index when the file has
// none and indexes the documents waiting.
void refresh(Store& store);

// Brings the index of the file at path up to date in short transactions of its own (Store::ShortWrites), each
// under half a second, so that readers are kept out only while one commits. Without an index: makes one when
// create, else does nothing; rebuild makes it anew. progress (may be empty): documents indexed so far and in all.
// Throws DominoError when the file cannot be written; what was committed stays and is used.
using Progress = std::function<void(qint64 done, qint64 total)>;
void update(const QString& path, bool create, bool rebuild, const Progress& progress);

// Before a search, by a reader of the file: brings the index up to date (update with create) when it lacks one or
// documents wait, letting go of the reader's own read first. False when it could not (the file or its folder read
// only, another writer in the way, or the reader inside a read that must go on): the search then reads documents.
bool prepare(Store& reader);

// The documents that match (internal ids, ascending: the order they were added in), the first maxDocs of them
// (0: all), without the ids in hidden (sorted). For consistent answers, call it inside a Store::OneRead.
std::vector<qint64> search(Store& store, const domino::FTQuery& query, qint64 maxDocs,
                           const std::vector<qint64>& hidden = {});

// An FTS5 query whose matches include every document the node matches; nullopt when the index cannot narrow it
// (a term of fewer than three characters, NOT). Each term's text goes in as quoted strings of three characters.
std::optional<QString> candidates(const domino::FTQuery::Node& node);

// A document's text as the index holds it, read from its items and attachments; nullopt when the database does not
// hold the document. An item whose stored value cannot be read adds no text.
std::optional<QByteArray> documentText(Store& store, qint64 docId);

} // namespace quill::component::fulltext
