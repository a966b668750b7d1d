#pragma once

#include "workspace/pager.h"

#include <QAbstractTableModel>

namespace quill::workspace {

// The pager's page as a table: column 0 the document id under "文档ID", then one column per column of the
// listing. The id of every row is also data of its own (DocumentIdRole), so that nothing reads it back
// from what is shown.
class DocumentListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int DocumentIdRole = Qt::UserRole + 1;

    explicit DocumentListModel(const Pager& pager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const Pager& m_pager;
};

} // namespace quill::workspace
