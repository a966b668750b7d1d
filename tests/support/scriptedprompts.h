#pragma once

#include "shell/prompts.h"

#include <QStringList>
#include <deque>
#include <optional>

namespace quill::testing {

// Prompts that answer from a script and record what was shown. An unscripted question answers
// Cancel, and is recorded, so a test sees what it did not expect.
class ScriptedPrompts : public shell::Prompts
{
public:
    // What the user saw, in order, each prefixed by its kind: "message:", "error:", "question:",
    // "open:", "save:", "input:".
    QStringList shown;

    std::deque<bool> okCancelAnswers;
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<int> saveFilterAnswers; // the type chosen in the save dialog; none: the first
    std::deque<std::optional<QString>> inputAnswers;

    QStringList messages() const { return withPrefix(u"message:"); }
    QStringList errors() const { return withPrefix(u"error:"); }

    void showMessage(const QString& text) override { shown << QStringLiteral("message:") + text; }
    void showError(const QString& text) override { shown << QStringLiteral("error:") + text; }
    bool askOkCancel(const QString& text, const QString& caption) override
    {
        shown << QStringLiteral("question:") + caption + QLatin1Char('|') + text;
        return take(okCancelAnswers, false);
    }
    std::optional<QString> getOpenFileName(const QString& filter) override
    {
        shown << QStringLiteral("open:") + filter;
        return take(openAnswers, std::optional<QString>());
    }
    std::optional<QString> getSaveFileName(const QString& filter, int* filterIndex) override
    {
        shown << QStringLiteral("save:") + filter;
        const int chosen = saveFilterAnswers.empty() ? 0 : saveFilterAnswers.front();
        if (!saveFilterAnswers.empty())
            saveFilterAnswers.pop_front();
        if (filterIndex)
            *filterIndex = chosen;
        return take(saveAnswers, std::optional<QString>());
    }
    std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& initial) override
    {
        shown << QStringLiteral("input:") + caption + QLatin1Char('|') + prompt + QLatin1Char('|') + initial;
        return take(inputAnswers, std::optional<QString>());
    }

private:
    static bool take(std::deque<bool>& queue, bool fallback)
    {
        if (queue.empty())
            return fallback;
        const bool value = queue.front();
        queue.pop_front();
        return value;
    }
    static std::optional<QString> take(std::deque<std::optional<QString>>& queue, std::optional<QString>)
    {
        if (queue.empty() || !queue.front().has_value()) {
            if (!queue.empty())
                queue.pop_front();
            return std::nullopt;
        }
        const QString value = *queue.front();
        queue.pop_front();
        return value;
    }
    QStringList withPrefix(QStringView prefix) const
    {
        QStringList out;
        for (const QString& s : shown)
            if (s.startsWith(prefix))
                out << s.mid(prefix.size());
        return out;
    }
};

} // namespace quill::testing
