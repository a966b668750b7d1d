#pragma once

#include <QString>
#include <optional>

namespace quill::shell {

// Every message box, file dialog and input box of the program goes through this interface, so
// that tests can script the answers. Filters are given as "描述|*.ext".
class Prompts
{
public:
    virtual ~Prompts() = default;

    // Plain message box: no icon, OK button, the application title as caption.
    virtual void showMessage(const QString& text) = 0;
    // The general error handler's box: error icon, OK button, the application title as caption.
    virtual void showError(const QString& text) = 0;
    // OK / Cancel question without icon, with its own caption; true for OK.
    virtual bool askOkCancel(const QString& text, const QString& caption) = 0;
    // Full path of the chosen file, or nullopt when cancelled.
    virtual std::optional<QString> getOpenFileName(const QString& filter) = 0;
    // No default extension is added; nullopt when cancelled. The filter may list several types, the first
    // chosen at the start; filterIndex (when given) gets the one chosen, from 0.
    virtual std::optional<QString> getSaveFileName(const QString& filter, int* filterIndex) = 0;
    // One-line input box; the edited text on OK, nullopt on Cancel.
    virtual std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& initial) = 0;
};

} // namespace quill::shell
