// The index of positions of a view: which documents it selects, in which order.

#include "admin.h"
#include "domino/error.h"
#include "formula/formula.h"
#include "fulltext.h"
#include "readeraccess.h"
#include "store.h"
#include "storeddocument.h"

#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace quill::component::admin {
namespace {

struct IndexedView
{
    qint64 id;
    QString form; // empty: every form
    QString selection;
    qint64 sortColumn; // as stored: no column of that number sorts in creation order
    bool descending;
};

// What orders a view (the ?2 of the index query).
struct Sort
{
    enum Kind
    {
        CreationOrder = 0,
        Item = 1,
        Created = 2,
        Modified = 3,
        UniversalId = 4,
        Formula = 5
    };
    Kind kind = CreationOrder;
    QString item;
    std::optional<formula::Formula> formula;
};

Sort sortOf(Store& store, const IndexedView& view)
{
    Sort sort;
    if (view.sortColumn < 0 || view.sortColumn == std::numeric_limits<qint64>::max())
        return sort;
    Query q(store.statement("SELECT item, formula FROM view_columns WHERE view_id = ? AND seq = ?"));
    q->bind(1, view.id).bind(2, view.sortColumn + 1);
    if (!q->step())
        return sort;
    sort.item = q->text(0);
    const QString text = q->text(1).trimmed();
    if (!sort.item.isEmpty()) {
        sort.kind = Sort::Item;
        return sort;
    }
    const std::pair<const char16_t*, Sort::Kind> stored[] = {
        {u"@Created", Sort::Created}, {u"@Modified", Sort::Modified}, {u"@DocumentUniqueID", Sort::UniversalId}};
    for (const auto& [name, kind] : stored) {
        if (text.compare(QStringView(name), Qt::CaseInsensitive) == 0) {
            sort.kind = kind;
            return sort;
        }
    }
    try {
        sort.formula = formula::Formula::parse(text);
        sort.kind = Sort::Formula;
    } catch (const formula::FormulaError&) {
        // a column that shows "" for every document: creation order
    }
    return sort;
}

// The selection a formula makes beyond the view's form; none for every document. A formula that cannot be
// evaluated selects every document, as its import said.
std::optional<formula::Formula> selectionOf(IndexedView& view)
{
    if (view.selection.trimmed().isEmpty())
        return std::nullopt;
    std::optional<formula::Formula> selection;
    try {
        selection = formula::Formula::parse(view.selection);
    } catch (const formula::FormulaError&) {
        return std::nullopt;
    }
    if (selection->selectsAll())
        return std::nullopt;
    if (const auto form = selection->selectedForm(); form && view.form.isEmpty()) {
        view.form = *form;
        return std::nullopt;
    }
    return selection;
}

void bindKey(Statement& q, int index, const domino::ValueList& values)
{
    using Kind = domino::Value::Kind;
    const domino::Value& key = values.empty() ? domino::Value() : values.front();
    switch (key.kind()) {
    case Kind::Text:
        q.bind(index, key.asText());
        return;
    case Kind::Integer:
        q.bind(index, key.asInteger());
        return;
    case Kind::Number:
        q.bind(index, key.asNumber());
        return;
    case Kind::DateTime:
        q.bind(index, double(key.asDateTime().toMSecsSinceEpoch()));
        return;
    case Kind::Date:
        q.bind(index, double(QDateTime(key.asDate(), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()));
        return;
    case Kind::Time:
        q.bind(index, double(QDateTime(QDate(2000, 1, 1), key.asTime(), Qt::UTC).toMSecsSinceEpoch()));
        return;
    default:
        q.bindNull(index);
    }
}

// Evaluates the selection and the sort formula on every document of the view's form, into temp.formula_keys.
void computeFormulaKeys(Store& store, const IndexedView& view, const std::optional<formula::Formula>& selection,
                        const Sort& sort)
{
    store.exec("DELETE FROM temp.formula_keys");
    Query docs(store.statement("SELECT id, unid, created, modified FROM documents "
                               "WHERE ?1 IS NULL OR form = ?1 COLLATE QUILL_NOCASE ORDER BY id"));
    if (view.form.isEmpty())
        docs->bindNull(1);
    else
        docs->bind(1, view.form);
    Query key(store.statement("INSERT INTO temp.formula_keys(doc_id, k) VALUES(?, ?)"));
    // A time that is not an integer is out of every range, as the component's documents take it.
    constexpr qint64 invalid = std::numeric_limits<qint64>::min();
    while (docs->step()) {
        const StoredDocument document(store, docs->int64(0), docs->text(1), docs->integer(2).value_or(invalid),
                                      docs->integer(3).value_or(invalid));
        domino::ValueList values;
        try {
            if (selection && !selection->selects(document))
                continue;
            if (sort.formula)
                values = sort.formula->evaluate(document);
        } catch (const formula::FormulaError&) {
        } catch (const domino::DominoError&) {
            // A stored value the file cannot hold (a damaged or altered file) fails the formula on this document
            // only: the list shows the item's error, and the rest of the view is indexed.
            if (selection)
                continue;
        }
        key->bind(1, document.id());
        bindKey(*key, 2, values);
        key->run();
    }
}

qint64 indexView(Store& store, IndexedView view)
{
    const Sort sort = sortOf(store, view);
    const std::optional<formula::Formula> selection = selectionOf(view);
    const bool formulaKeys = selection || sort.kind == Sort::Formula;
    if (formulaKeys)
        computeFormulaKeys(store, view, selection, sort);
    // The key orders as the sort column shows its first value: missing, then numbers and date-times,
    // then text; SQLite orders NULL, numbers and text that way. A date, time or wall-clock time counts as
    // that moment in UTC (a time on 2000-01-01). Ties keep creation order. The rows
    // stream from SQLite's sorter into the index, so memory stays flat however many documents there are.
    Query select(store.statement(
        "SELECT id FROM (SELECT d.id AS id, d.created AS created, CASE ?2 "
        " WHEN 1 THEN (SELECT CASE WHEN NOT json_valid(i.value) OR json_type(i.value, '$[0]') IS NULL THEN NULL "
        "   WHEN i.type IN (768, 1024) THEN CASE WHEN json_type(i.value, '$[0]') IN ('integer', 'real') "
        "     THEN json_extract(i.value, '$[0]') WHEN i.type = 1024 AND json_type(i.value, '$[0]') = 'text' "
        "     THEN (julianday(substr(json_extract(i.value, '$[0]'), 3)) - 2440587.5) * 86400000.0 ELSE 0 END "
        "   WHEN json_type(i.value, '$[0]') = 'text' THEN json_extract(i.value, '$[0]') ELSE '' END "
        "   FROM items i WHERE i.doc_id = d.id AND i.name = ?3 ORDER BY i.seq LIMIT 1) "
        " WHEN 2 THEN d.created WHEN 3 THEN d.modified WHEN 4 THEN d.unid WHEN 5 THEN f.k END AS k "
        " FROM documents d LEFT JOIN temp.formula_keys f ON f.doc_id = d.id "
        " WHERE (?1 IS NULL OR d.form = ?1 COLLATE QUILL_NOCASE) AND (NOT ?5 OR f.doc_id IS NOT NULL)) "
        "ORDER BY CASE WHEN ?4 THEN NULL ELSE k END COLLATE QUILL_NOCASE, "
        " CASE WHEN ?4 THEN k END COLLATE QUILL_NOCASE DESC, created, id"));
    Query insert(store.statement("INSERT INTO view_entries(view_id, position, doc_id) VALUES(?, ?, ?)"));
    Query clear(store.statement("DELETE FROM view_entries WHERE view_id = ?"));
    clear->bind(1, view.id).run();
    if (view.form.isEmpty())
        select->bindNull(1);
    else
        select->bind(1, view.form);
    select->bind(2, qint64(sort.kind)).bind(3, sort.item).bind(4, qint64(view.descending ? 1 : 0));
    select->bind(5, qint64(formulaKeys ? 1 : 0));
    qint64 position = 0;
    while (select->step())
        insert->bind(1, view.id).bind(2, ++position).bind(3, select->int64(0)).run();
    Query count(store.statement("UPDATE views SET entry_count = ? WHERE id = ?"));
    count->bind(1, position).bind(2, view.id).run();
    return position;
}

std::vector<IndexedView> views(Store& store, qint64 onlyId)
{
    // The temporary table must exist before the index query that reads it is prepared.
    store.exec("CREATE TEMP TABLE IF NOT EXISTS formula_keys(doc_id INTEGER PRIMARY KEY, k)");
    std::vector<IndexedView> list;
    Query q(store.statement("SELECT id, form, selection, sort_column, sort_descending FROM views "
                            "WHERE ?1 < 0 OR id = ?1 ORDER BY id"));
    q->bind(1, onlyId);
    while (q->step()) {
        list.push_back(IndexedView{q->int64(0), q->isNull(1) ? QString() : q->text(1), q->text(2),
                                   q->integer(3).value_or(-1), q->int64(4) != 0});
    }
    return list;
}

} // namespace

void rebuildViewIndex(Store& store, bool fullText)
{
    for (const IndexedView& view : views(store, -1))
        indexView(store, view);
    refreshReaderPositions(store, -1);
    if (fullText)
        fulltext::refresh(store);
}

qint64 rebuildViewIndex(Store& store, qint64 viewId)
{
    const bool positionsKept = readerPositionsKept(store);
    qint64 count = 0;
    for (const IndexedView& view : views(store, viewId))
        count = indexView(store, view);
    refreshReaderPositions(store, positionsKept ? viewId : -1);
    return count;
}

} // namespace quill::component::admin
