#include "shell/qtprompts.h"

#include "shell/vendor.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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

void QtPrompts::showMessage(const QString& text)
{
    QMessageBox::information(parentWidget(), QString::fromUtf16(kAppTitle), text);
}

void QtPrompts::showError(const QString& text)
{
    QMessageBox::critical(parentWidget(), QString::fromUtf16(kAppTitle), text);
}

bool QtPrompts::askOkCancel(const QString& text, const QString& caption)
{
    return QMessageBox::question(parentWidget(), caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

std::optional<QString> QtPrompts::getOpenFileName(const QString& filter)
{
    const QString file = QFileDialog::getOpenFileName(parentWidget(), u"打开"_s, QString(), qtFileFilter(filter));
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> QtPrompts::getSaveFileName(const QString& filter)
{
    const QString file = QFileDialog::getSaveFileName(parentWidget(), u"另存为"_s, QString(), qtFileFilter(filter));
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> QtPrompts::inputBox(const QString& caption, const QString& prompt, const QString& initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parentWidget(), caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace quill::shell
