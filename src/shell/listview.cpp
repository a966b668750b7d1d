#include "shell/listview.h"

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quill::shell {

ListView::ListView(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedWidget(this)), m_report(new QTreeWidget), m_icons(new QListWidget)
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
    m_report->setColumnCount(0);
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

    connect(m_report, &QTreeWidget::itemDoubleClicked, this, [this] { emit doubleClicked(); });
    connect(m_icons, &QListWidget::itemDoubleClicked, this, [this] { emit doubleClicked(); });
}

void ListView::setViewStyle(Style style)
{
    m_style = style;
    m_stack->setCurrentWidget(style == Style::Report ? static_cast<QWidget*>(m_report) : m_icons);
}

void ListView::beginUpdate()
{
    if (m_updateDepth++ == 0)
        m_stack->setUpdatesEnabled(false);
}

void ListView::endUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0)
        m_stack->setUpdatesEnabled(true);
}

void ListView::clearItems()
{
    m_report->clear();
    m_icons->clear();
}

void ListView::clearColumns()
{
    m_report->clear();
    m_report->setColumnCount(0);
    m_report->setHeaderLabels({});
}

void ListView::setRowSelect(bool wholeRow)
{
    m_report->setSelectionBehavior(wholeRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    m_report->setAllColumnsShowFocus(wholeRow);
}

void ListView::addColumn(const QString& caption, int width)
{
    const int column = m_report->columnCount();
    m_report->setColumnCount(column + 1);
    m_report->headerItem()->setText(column, caption);
    m_report->setColumnWidth(column, width);
}

int ListView::columnCount() const
{
    return m_report->columnCount();
}

QString ListView::columnCaption(int column) const
{
    if (column < 0 || column >= m_report->columnCount())
        return {};
    return m_report->headerItem()->text(column);
}

int ListView::columnWidth(int column) const
{
    return m_report->columnWidth(column);
}

void ListView::addRow(const QString& caption, const QStringList& subItems)
{
    auto* item = new QTreeWidgetItem(m_report);
    item->setText(0, caption);
    for (qsizetype i = 0; i < subItems.size(); ++i)
        item->setText(int(i) + 1, subItems[i]);
}

void ListView::setRowSubItems(int row, const QStringList& subItems)
{
    QTreeWidgetItem* item = m_report->topLevelItem(row);
    if (!item)
        return;
    for (int column = 1; column < item->columnCount(); ++column)
        item->setText(column, QString());
    for (qsizetype i = 0; i < subItems.size(); ++i)
        item->setText(int(i) + 1, subItems[i]);
}

int ListView::rowCount() const
{
    return m_report->topLevelItemCount();
}

QString ListView::rowCaption(int row) const
{
    const QTreeWidgetItem* item = m_report->topLevelItem(row);
    return item ? item->text(0) : QString();
}

QStringList ListView::rowSubItems(int row) const
{
    const QTreeWidgetItem* item = m_report->topLevelItem(row);
    QStringList out;
    if (!item)
        return out;
    for (int column = 1; column < item->columnCount(); ++column)
        out << item->text(column);
    return out;
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

QStringList ListView::selectedRowCaptions() const
{
    QStringList out;
    for (int row = 0; row < m_report->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_report->topLevelItem(row);
        if (item->isSelected())
            out << item->text(0);
    }
    return out;
}

void ListView::selectRow(int row)
{
    QTreeWidgetItem* item = m_report->topLevelItem(row);
    if (!item)
        return;
    m_report->setCurrentItem(item);
    item->setSelected(true);
}

} // namespace quill::shell
