#include "storeddocument.h"

#include "domino/error.h"
#include "model.h"
#include "store.h"

#include <QString>
#include <functional>

using namespace Qt::StringLiterals;

namespace quill::component {

namespace {

domino::DominoError invalidStoredValue(const QString& unid, const QString& item, const QString& detail)
{
    return domino::DominoError(u"文档"_s + unid + u"中域"_s + item + u"存储的值无效："_s + detail);
}

QDateTime instant(qint64 msecs, const QString& unid, const QString& what)
{
    const std::optional<QDateTime> value = instantAt(msecs);
    if (!value)
        throw domino::DominoError(u"文档"_s + unid + u"的"_s + what + u"存储的值无效：超出范围"_s);
    return *value;
}

} // namespace

domino::ValueList storedValues(const QString& unid, const StoredItem& item)
{
    if (!item.utf8)
        throw invalidStoredValue(unid, item.name, u"不是UTF-8文本"_s);
    try {
        return decodeValues(item.type, item.stored);
    } catch (const domino::DominoError& e) {
        throw invalidStoredValue(unid, item.name, e.message());
    }
}

StoredDocument::StoredDocument(Store& store, qint64 id, QString unid, qint64 created, qint64 modified, qint64 position)
    : m_store(&store), m_id(id), m_unid(std::move(unid)), m_created(created), m_modified(modified), m_position(position)
{
}

const std::vector<StoredItem>& StoredDocument::items() const
{
    if (!m_items) {
        std::vector<StoredItem> list;
        Query q(m_store->statement("SELECT seq, name, type, value FROM items WHERE doc_id = ? ORDER BY seq"));
        q->bind(1, m_id);
        while (q->step()) {
            // Bytes that are not UTF-8 would read as other text: the value is an error instead.
            const std::optional<QString> stored = q->exactText(3);
            list.push_back(StoredItem{q->int64(0), q->text(1), q->integer(2).value_or(0), stored.value_or(QString()),
                                      bool(stored)});
        }
        m_items = std::move(list);
    }
    return *m_items;
}

domino::ValueList StoredDocument::values(const StoredItem& item) const
{
    const std::vector<StoredItem>& all = items();
    const std::less<const StoredItem*> before;
    if (all.empty() || before(&item, all.data()) || !before(&item, all.data() + all.size()))
        return storedValues(m_unid, item);
    const size_t at = size_t(&item - all.data());
    if (m_values.size() != all.size())
        m_values.resize(all.size());
    if (!m_values[at])
        m_values[at] = storedValues(m_unid, item); // a value that cannot be decoded throws again next time
    return *m_values[at];
}

const StoredItem* StoredDocument::find(const QString& name) const
{
    // The export asks for every item twice running: its type, then its value.
    if (m_lastLookup && m_lastLookup->first == name)
        return m_lastLookup->second;
    const StoredItem* found = nullptr;
    for (const StoredItem& item : items()) {
        // Names of different lengths never match, not even without regard to case.
        if (item.name.size() == name.size() &&
            (item.name == name || item.name.compare(name, Qt::CaseInsensitive) == 0)) {
            found = &item;
            break;
        }
    }
    m_lastLookup.emplace(name, found);
    return found;
}

const StoredItem& StoredDocument::existing(const QString& name) const
{
    const StoredItem* item = find(name);
    if (!item)
        throw domino::DominoError(u"文档"_s + m_unid + u"中找不到域："_s + name);
    if (!isKnownItemType(item->type))
        throw invalidStoredValue(m_unid, item->name, u"类型编号未知（"_s + QString::number(item->type) + u"）"_s);
    return *item;
}

std::optional<domino::ValueList> StoredDocument::item(const QString& name) const
{
    const StoredItem* item = find(name);
    if (!item)
        return std::nullopt;
    return values(*item);
}

domino::ValueList StoredDocument::authors() const
{
    domino::ValueList names;
    for (const StoredItem& item : items()) {
        if (item.type == AuthorsType) {
            const domino::ValueList stored = values(item);
            names.insert(names.end(), stored.begin(), stored.end());
        }
    }
    return names;
}

QDateTime StoredDocument::created() const
{
    return instant(m_created, m_unid, u"创建时间"_s);
}

QDateTime StoredDocument::modified() const
{
    return instant(m_modified, m_unid, u"修改时间"_s);
}

qint64 StoredDocument::length() const
{
    Query q(m_store->statement(
        "SELECT (SELECT total(length(CAST(name AS BLOB)) + length(CAST(value AS BLOB))) FROM items WHERE doc_id = ?1)"
        " + (SELECT total(length(data)) FROM attachments WHERE doc_id = ?1)"
        " + (SELECT total(length(data)) FROM embedded_objects WHERE doc_id = ?1)"));
    q->bind(1, m_id);
    return q->step() ? q->int64(0) : 0;
}

domino::Value columnValue(domino::ValueList values)
{
    if (values.empty())
        return domino::Value::text(QString());
    if (values.size() == 1)
        return std::move(values.front());
    return domino::Value::list(std::move(values));
}

domino::Value columnValue(const formula::Formula& formula, const formula::Document& document)
{
    try {
        return columnValue(formula.evaluate(document));
    } catch (const formula::FormulaError&) {
        return domino::Value::text(QString());
    }
}

} // namespace quill::component
