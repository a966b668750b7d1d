#include "shell/listview.h"

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quill::shell {

ListView::ListView(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedWidget(this)), m_report(new QTreeView), m_icons(new QListWidget)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    // The list is drawn in the menu colour, as the program always showed it.
    const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
    QPalette menuColoured = palette();
    menuColoured.setColor(QPalette::Base, menu);
    menuColoured.setColor(QPalette::Window, menu);

    m_report->setObjectName(QStringLiteral("report"));
    m_report->setFrameShape(QFrame::NoFrame);
    m_report->setRootIsDecorated(false);
    m_report->setItemsExpandable(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_report->setSelectionMode(QAbstractItemView::SingleSelection);
    m_report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_report->header()->setStretchLastSection(false);
    m_report->header()->setSectionsMovable(false);
    m_report->setPalette(menuColoured);
    // Grid lines between cells, as in a report-style list; a style sheet replaces the palette's
    // colours, so they are given here too.
    m_report->setStyleSheet(
        u"QTreeView { background-color: %1; }"
        " QTreeView::item { border-right: 1px solid #d4d0c8; border-bottom: 1px solid #d4d0c8; }"
        " QTreeView::item:selected { background-color: palette(highlight); color: palette(highlighted-text); }"_s.arg(
            menu.name()));

    m_icons->setObjectName(QStringLiteral("icons"));
    m_icons->setFrameShape(QFrame::NoFrame);
    m_icons->setViewMode(QListView::IconMode);
    m_icons->setIconSize(QSize(32, 32));
    m_icons->setGridSize(QSize(96, 64));
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWordWrap(true);
    m_icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_icons->setSelectionMode(QAbstractItemView::SingleSelection);
    m_icons->setPalette(menuColoured);

    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_report);
    m_stack->setCurrentWidget(m_icons);

    connect(m_report, &QTreeView::doubleClicked, this, [this] { emit doubleClicked(); });
    connect(m_icons, &QListWidget::itemDoubleClicked, this, [this] { emit doubleClicked(); });
}

void ListView::setViewStyle(Style style)
{
    m_style = style;
    m_stack->setCurrentWidget(style == Style::Report ? static_cast<QWidget*>(m_report) : m_icons);
}

void ListView::setModel(QAbstractItemModel* model, int documentIdRole)
{
    m_model = model;
    m_documentIdRole = documentIdRole;
    m_report->setModel(model);
    // A page is read with the list not redrawn; then every column gets its share of the width the list has.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_stack->setUpdatesEnabled(false); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        fitColumns();
        m_stack->setUpdatesEnabled(true);
    });
    fitColumns();
}

void ListView::fitColumns()
{
    const int columns = columnCount();
    for (int column = 0; column < columns; ++column)
        m_report->setColumnWidth(column, width() / columns);
}

int ListView::columnCount() const
{
    return m_model ? m_model->columnCount() : 0;
}

QString ListView::columnCaption(int column) const
{
    return m_model ? m_model->headerData(column, Qt::Horizontal).toString() : QString();
}

int ListView::columnWidth(int column) const
{
    return m_report->columnWidth(column);
}

int ListView::rowCount() const
{
    return m_model ? m_model->rowCount() : 0;
}

QString ListView::rowCaption(int row) const
{
    return m_model ? m_model->index(row, 0).data().toString() : QString();
}

QStringList ListView::rowSubItems(int row) const
{
    QStringList out;
    for (int column = 1; column < columnCount(); ++column) {
        const QVariant text = m_model->index(row, column).data();
        if (!text.isValid())
            break;
        out << text.toString();
    }
    return out;
}

QStringList ListView::selectedDocumentIds() const
{
    QStringList out;
    if (!m_report->selectionModel())
        return out;
    for (const QModelIndex& index : m_report->selectionModel()->selectedRows())
        out << index.data(m_documentIdRole).toString();
    return out;
}

void ListView::selectRow(int row)
{
    if (!m_model || row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row, 0);
    m_report->setCurrentIndex(index);
    m_report->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void ListView::clearIcons()
{
    m_icons->clear();
}

void ListView::addIconItem(const QString& caption, const QIcon& icon)
{
    new QListWidgetItem(icon, caption, m_icons);
}

int ListView::iconItemCount() const
{
    return m_icons->count();
}

QString ListView::iconItemCaption(int index) const
{
    const QListWidgetItem* item = m_icons->item(index);
    return item ? item->text() : QString();
}

} // namespace quill::shell
