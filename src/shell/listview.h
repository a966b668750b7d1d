#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>

class QAbstractItemModel;
class QListWidget;
class QStackedWidget;
class QTreeView;

namespace quill::shell {

// The main window's document list: one control with two styles, large icons (a database's views) and report
// rows (the documents of what is listed, drawn from a table model whose column 0 is the document id).
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

    // The rows of the report style. While the model is reset the list is not redrawn; afterwards every
    // column gets an equal share of the list's width.
    void setModel(QAbstractItemModel* model, int documentIdRole);
    int columnCount() const;
    QString columnCaption(int column) const;
    int columnWidth(int column) const;
    int rowCount() const;
    QString rowCaption(int row) const;
    // The texts after the caption; none for a row that has no cells.
    QStringList rowSubItems(int row) const;
    // The documents of the selected rows, from the model's id data.
    QStringList selectedDocumentIds() const;
    void selectRow(int row);

    // Large-icon items.
    void clearIcons();
    void addIconItem(const QString& caption, const QIcon& icon);
    int iconItemCount() const;
    QString iconItemCaption(int index) const;

    QTreeView* reportWidget() const { return m_report; }
    QListWidget* iconWidget() const { return m_icons; }

signals:
    void doubleClicked();

private:
    void fitColumns();

    Style m_style = Style::Icon;
    QStackedWidget* m_stack = nullptr;
    QTreeView* m_report = nullptr;
    QListWidget* m_icons = nullptr;
    QAbstractItemModel* m_model = nullptr;
    int m_documentIdRole = Qt::UserRole;
};

} // namespace quill::shell
