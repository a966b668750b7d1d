#include "shell/qtprompts.h"

#include "shell/vendor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quill::shell {

QString qtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        out << parts[i] + u" ("_s + patterns + u')';
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        out << parts.last();
    return out.join(u";;"_s);
}

QtPrompts::QtPrompts(QWidget* parent) : m_parent(parent) {}

QWidget* QtPrompts::parentWidget() const
{
    if (m_parent)
        return m_parent;
    return QApplication::activeWindow();
}

namespace {

int runBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
           QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    // Qt's own captions would be English in an otherwise Chinese program.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setText(u"确定"_s);
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel))
        cancel->setText(u"取消"_s);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec();
}

} // namespace

void QtPrompts::showMessage(const QString& text)
{
    runBox(parentWidget(), QMessageBox::NoIcon, QString::fromUtf16(kAppTitle), text, QMessageBox::Ok);
}

void QtPrompts::showError(const QString& text)
{
    runBox(parentWidget(), QMessageBox::Critical, QString::fromUtf16(kAppTitle), text, QMessageBox::Ok);
}

bool QtPrompts::askOkCancel(const QString& text, const QString& caption)
{
    return runBox(parentWidget(), QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

std::optional<QString> QtPrompts::getOpenFileName(const QString& filter)
{
    const QString file = QFileDialog::getOpenFileName(parentWidget(), u"打开"_s, QString(), qtFileFilter(filter));
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> QtPrompts::getSaveFileName(const QString& filter, int* filterIndex)
{
    const QString filters = qtFileFilter(filter);
    QString chosen;
    const QString file = QFileDialog::getSaveFileName(parentWidget(), u"另存为"_s, QString(), filters, &chosen);
    if (file.isEmpty())
        return std::nullopt;
    if (filterIndex)
        *filterIndex = std::max<int>(0, int(filters.split(u";;"_s).indexOf(chosen)));
    return file;
}

std::optional<QString> QtPrompts::inputBox(const QString& caption, const QString& prompt, const QString& initial)
{
    QInputDialog dialog(parentWidget());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(u"确定"_s);
    dialog.setCancelButtonText(u"取消"_s);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace quill::shell
