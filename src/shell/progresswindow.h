#pragma once

#include <QWidget>

class QFrame;
class QProgressBar;

namespace quill::shell {

class MessageLabel;
class SearchAnimation;

// The progress window: a frameless panel with a message line, a progress bar and the search
// animation. Opened, changed and closed through a ProgressDisplay.
class ProgressWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 393;
    static constexpr int kHeight = 54;

    explicit ProgressWindow(QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // The message alone, lower down, without the bar.
    void showMessageOnly(const QString& text);
    // The bar's position, held inside its range.
    void setPosition(int position);

    QFrame* panel() const { return m_panel; }
    MessageLabel* messageLabel() const { return m_message; }
    QProgressBar* progressBar() const { return m_progressBar; }
    SearchAnimation* animation() const { return m_animation; }
    // How often the panel was painted, so that a test sees a change painted at once, without the event loop.
    int panelPaintCount() const { return m_panelPaints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFrame* m_panel = nullptr;
    MessageLabel* m_message = nullptr;
    QProgressBar* m_progressBar = nullptr;
    SearchAnimation* m_animation = nullptr;
    int m_panelPaints = 0;
};

} // namespace quill::shell
