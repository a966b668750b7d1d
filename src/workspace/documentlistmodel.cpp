#include "workspace/documentlistmodel.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

DocumentListModel::DocumentListModel(const Pager& pager, QObject* parent) : QAbstractTableModel(parent), m_pager(pager)
{
    connect(&pager, &Pager::aboutToChange, this, &DocumentListModel::beginResetModel);
    connect(&pager, &Pager::changed, this, &DocumentListModel::endResetModel);
}

int DocumentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_pager.rows().size());
}

int DocumentListModel::columnCount(const QModelIndex& parent) const
{
    const std::optional<QStringList>& titles = m_pager.columnTitles();
    return parent.isValid() || !titles ? 0 : int(titles->size()) + 1;
}

QVariant DocumentListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Pager::Row& row = m_pager.rows()[size_t(index.row())];
    if (role == DocumentIdRole)
        return row.documentId;
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == 0)
        return row.documentId;
    // A row whose values could not be read has no cells at all, unlike a row with empty ones.
    if (index.column() > row.cells.size())
        return {};
    return row.cells.at(index.column() - 1);
}

QVariant DocumentListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return section == 0 ? u"文档ID"_s : m_pager.columnTitles()->at(section - 1);
}

} // namespace quill::workspace
