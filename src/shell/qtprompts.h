#pragma once

#include "shell/prompts.h"

#include <QPointer>
#include <QWidget>

namespace quill::shell {

// "描述|*.a;*.b|描述2|*.c" -> "描述 (*.a *.b);;描述2 (*.c)".
QString qtFileFilter(const QString& filter);

// The real prompts: message boxes, file dialogs and the input box, captioned with the application
// title. Dialogs are parented to the given window, else to the application's active window.
class QtPrompts : public Prompts
{
public:
    explicit QtPrompts(QWidget* parent = nullptr);

    void setParentWidget(QWidget* parent) { m_parent = parent; }

    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    bool askOkCancel(const QString& text, const QString& caption) override;
    std::optional<QString> getOpenFileName(const QString& filter) override;
    std::optional<QString> getSaveFileName(const QString& filter, int* filterIndex) override;
    std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& initial) override;

private:
    QWidget* parentWidget() const;

    QPointer<QWidget> m_parent;
};

} // namespace quill::shell
