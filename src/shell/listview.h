#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>

class QListWidget;
class QStackedWidget;
class QTreeWidget;

namespace quill::shell {

// The main window's document list: one control with two styles, large icons (a database's views)
// and report rows (a view's documents), as the program's commands switch between them.
class ListView : public QWidget
{
    Q_OBJECT
public:
    enum class Style
    {
        Icon,
        Report
    };

    explicit ListView(QWidget* parent = nullptr);

    Style viewStyle() const { return m_style; }
    void setViewStyle(Style style);

    // Redraw suspension around bulk changes; calls nest.
    void beginUpdate();
    void endUpdate();

    void clearItems();
    void clearColumns();
    void setRowSelect(bool wholeRow);
    void addColumn(const QString& caption, int width);
    int columnCount() const;
    QString columnCaption(int column) const;
    int columnWidth(int column) const;

    // Report rows: caption in column 0, sub-items after it.
    void addRow(const QString& caption, const QStringList& subItems = {});
    // Replaces the sub-items of a report row.
    void setRowSubItems(int row, const QStringList& subItems);
    int rowCount() const;
    QString rowCaption(int row) const;
    QStringList rowSubItems(int row) const;

    // Large-icon items.
    void addIconItem(const QString& caption, const QIcon& icon);
    int iconItemCount() const;
    QString iconItemCaption(int index) const;

    // Captions of the selected report rows.
    QStringList selectedRowCaptions() const;
    void selectRow(int row);

    QTreeWidget* reportWidget() const { return m_report; }
    QListWidget* iconWidget() const { return m_icons; }

signals:
    void doubleClicked();

private:
    Style m_style = Style::Icon;
    int m_updateDepth = 0;
    QStackedWidget* m_stack = nullptr;
    QTreeWidget* m_report = nullptr;
    QListWidget* m_icons = nullptr;
};

} // namespace quill::shell
