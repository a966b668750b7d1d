#include "browse/documentdetaildialog.h"

#include "domino/error.h"
#include "domino/notes.h"
#include "domino/value.h"
#include "shell/screencentre.h"

#include <QHeaderView>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace quill::browse {

namespace {

// Room the grid leaves on either side of a cell's text.
constexpr int kCellPadding = 4;

} // namespace

DetailRows readDocumentDetail(domino::NotesSession& session, const workspace::DatabaseLocation& location,
                              const QString& documentId)
{
    std::shared_ptr<domino::NotesDatabase> database = session.OpenDatabase(location.server, location.path, false);
    std::unique_ptr<domino::NotesDocument> document = database->FindDocumentById(documentId);
    DetailRows rows;
    rows.names = document->Items();
    for (int i = 0; i < rows.names.size(); ++i) {
        const QString& name = rows.names.at(i);
        const domino::ValueList values = document->ItemValue(name);
        if (values.empty())
            throw domino::DominoError(u"域"_s + name + u"没有值"_s);
        // Every value, as the list shows a multi-value column.
        rows.values << domino::ValueToText(domino::Value::list(values));
        try {
            if (std::optional<RenderedBody> body = renderBody(*document, name))
                rows.bodies.emplace(i, std::move(*body));
        } catch (const std::exception&) {
            // A body that cannot be had is not offered; its row shows the plain text as before.
        }
    }
    return rows;
}

DocumentDetailDialog::DocumentDetailDialog(const DetailRows& rows, QWidget* parent)
    : QDialog(parent), m_bodies(rows.bodies)
{
    setWindowTitle(u"文档详细资料"_s);
    setModal(true);
    setFixedSize(568, 493);
    shell::centreOnScreen(this);

    const int n = static_cast<int>(rows.names.size());
    m_fixedRow = n > 0;

    m_grid = new QTableWidget(n + 1, 2, this);
    m_grid->setGeometry(56, 16, 465, 409);
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->setColumnWidth(0, 64);
    m_grid->setColumnWidth(1, 248);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setWordWrap(false);

    const QBrush headingBrush = palette().brush(QPalette::Button);
    auto cell = [&](int row, int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        // Row 0 and column 0 are the grid's fixed heading cells.
        if ((m_fixedRow && row == 0) || column == 0) {
            item->setBackground(headingBrush);
            item->setFlags(Qt::ItemIsEnabled);
        }
        // Columns keep their width and cannot be resized: a value that does not fit, or that runs over
        // several lines, is read in full from its tooltip.
        const int room = m_grid->columnWidth(column) - 2 * kCellPadding;
        if (text.contains(u'\n') || m_grid->fontMetrics().horizontalAdvance(text) > room)
            item->setToolTip(text);
        m_grid->setItem(row, column, item);
    };
    cell(0, 0, u"文档域名"_s);
    cell(0, 1, u"域值"_s);
    for (int i = 0; i < n; ++i) {
        cell(i + 1, 0, rows.names.at(i));
        cell(i + 1, 1, i < rows.values.size() ? rows.values.at(i) : QString());
    }
    for (int row = 0; row <= n; ++row)
        m_grid->setRowHeight(row, row == 1 ? 22 : 24);
    m_grid->setCurrentCell(m_fixedRow ? 1 : 0, 1); // the first cell that is not a heading

    m_ok = new QPushButton(u"确   定"_s, this);
    m_ok->setGeometry(208, 440, 121, 33);
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (m_fixedRow)
            openBody(row - 1);
    });
}

RichTextViewer* DocumentDetailDialog::openBody(int itemIndex)
{
    const auto body = m_bodies.find(itemIndex);
    if (body == m_bodies.end())
        return nullptr;
    auto* viewer = new RichTextViewer(body->second, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
    return viewer;
}

} // namespace quill::browse
