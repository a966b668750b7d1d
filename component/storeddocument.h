#pragma once

#include "domino/value.h"
#include "formula/formula.h"

#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace quill::component {

class Store;

// An item as the items table holds it (model.h: the value is a JSON array).
struct StoredItem
{
    qint64 seq;
    QString name;
    qint64 type; // as the file holds it: checked where it is used
    QString stored;
    bool utf8 = true; // false: the stored bytes are not text, and no value can be read from them
};

// An item's values as stored; what the file cannot hold (a damaged or altered file) is a DominoError of the item.
domino::ValueList storedValues(const QString& unid, const StoredItem& item);

// A document as its database holds it, for the component's objects and for formulas; its items are read on
// first use. The store must outlive it.
class StoredDocument : public formula::Document
{
public:
    // position: in the view the document was reached through, from 1; 0 for none.
    StoredDocument(Store& store, qint64 id, QString unid, qint64 created, qint64 modified, qint64 position = 0);

    qint64 id() const { return m_id; }
    const std::vector<StoredItem>& items() const;
    // The first item of that name, compared without regard to case.
    const StoredItem* find(const QString& name) const;
    // The item of the name, of a type the component knows; throws DominoError when there is none.
    const StoredItem& existing(const QString& name) const;
    // Decoded once for an item of items(): the export's cells and its page both read every value.
    domino::ValueList values(const StoredItem& item) const;

    std::optional<domino::ValueList> item(const QString& name) const override;
    domino::ValueList authors() const override;
    // Throw DominoError when the stored time is out of range.
    QDateTime created() const override;
    QDateTime modified() const override;
    QString universalId() const override { return m_unid; }
    // The UTF-8 bytes of its items' names and stored values, and the bytes of its attachments and of the objects
    // in its rich text.
    qint64 length() const override;
    qint64 position() const override { return m_position; }

private:
    Store* m_store;
    qint64 m_id;
    QString m_unid;
    qint64 m_created;
    qint64 m_modified;
    qint64 m_position;
    mutable std::optional<std::vector<StoredItem>> m_items;
    mutable std::optional<std::pair<QString, const StoredItem*>> m_lastLookup;
    mutable std::vector<std::optional<domino::ValueList>> m_values; // by position in items()
};

// What a view column shows of values: none as "", one as itself, several as a list.
domino::Value columnValue(domino::ValueList values);
// A formula column's value; a formula that fails on the document shows "".
domino::Value columnValue(const formula::Formula& formula, const formula::Document& document);

} // namespace quill::component
