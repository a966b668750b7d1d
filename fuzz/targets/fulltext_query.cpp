// The full-text query language over arbitrary text, and the component's index against the rules: a query is parsed
// or refused with a message of the language (never anything else), and what the index finds in a database of the
// input's documents is exactly what the rules decide document by document.
//
// Input: the query, ended by a NUL byte, then documents separated by newlines, each one's item values separated by
// tabs (the items are named f0, f1, ...).
#include "admin.h"
#include "domino/error.h"
#include "domino/ftsearch.h"
#include "domino/notes.h"
#include "fulltext.h"
#include "fuzzinput.h"
#include "store.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

constexpr qsizetype kMaxDocuments = 8;
constexpr qsizetype kMaxItems = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList fields;
    QByteArray tail;
    if (!fuzz::splitFields(data, size, 1, &fields, &tail))
        return 0;
    std::optional<domino::FTQuery> query;
    try {
        query = domino::FTQuery::parse(fields.front());
    } catch (const domino::DominoError& e) {
        if (!e.message().startsWith(u"搜索条件有误"_s))
            fuzz::propertyFailed("a refused query without the language's message", e.message());
        return 0;
    }

    std::vector<QStringList> documents;
    for (const QString& line : QString::fromUtf8(tail).split(u'\n').mid(0, kMaxDocuments))
        documents.push_back(line.split(u'\t').mid(0, kMaxItems));
    std::vector<component::admin::DocumentToAdd> newDocuments;
    for (const QStringList& values : documents) {
        component::admin::DocumentToAdd newDocument;
        for (qsizetype i = 0; i < values.size(); ++i)
            newDocument.items.push_back(
                {u"f"_s + QString::number(i), domino::NotesItem::Text, QJsonArray{values[i]}, {}});
        newDocuments.push_back(std::move(newDocument));
    }
    const QString path = QDir(fuzz::scratchFolder()).filePath(u"search.nsf"_s);
    QFile::remove(path);
    component::admin::createDatabase(path, QString());
    component::admin::addDocuments(path, newDocuments);

    // The rules, document by document (added in order: internal ids 1, 2, ...).
    std::vector<qint64> expected;
    for (size_t n = 0; n < documents.size(); ++n) {
        const QStringList& values = documents[n];
        const auto fieldTexts = [&](const QString& field) {
            std::vector<QByteArray> texts;
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (field.compare(u"f"_s + QString::number(i), Qt::CaseInsensitive) == 0)
                    texts.push_back(domino::foldForSearch(values[i]).toUtf8());
            }
            return texts;
        };
        if (query->matches(domino::searchText(values), fieldTexts))
            expected.push_back(qint64(n) + 1);
    }
    const auto store = component::Store::open(path, component::Store::Mode::ReadOnly);
    if (!component::fulltext::exists(*store))
        fuzz::propertyFailed("the admin tool made no index", path);
    std::vector<qint64> found;
    try {
        found = component::fulltext::search(*store, *query, 0);
    } catch (const domino::DominoError& e) {
        fuzz::propertyFailed("a search failed", e.message());
    }
    if (found != expected) {
        QStringList shown;
        for (const qint64 id : found)
            shown << QString::number(id);
        shown << u"expected:"_s;
        for (const qint64 id : expected)
            shown << QString::number(id);
        fuzz::propertyFailed("the index found other documents than the rules", shown.join(u' '));
    }
    return 0;
}
