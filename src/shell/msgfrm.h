#pragma once

#include <QFrame>
#include <QLabel>

class QProgressBar;
class QTimer;

namespace quill::shell {

// The looping search picture of the progress window: a magnifier passing over a folder.
class SearchAnimation : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFrameCount = 8;

    explicit SearchAnimation(QWidget* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const;
    int frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer = nullptr;
    int m_frame = 0;
};

// The panel that fills the progress window; counts its paints so that a test can see that a change
// was painted at once, without the event loop.
class MsgPanelFrame : public QFrame
{
    Q_OBJECT
public:
    explicit MsgPanelFrame(QWidget* parent = nullptr);
    int paintCount() const { return m_paints; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_paints = 0;
};

// The message line of the progress window. The export's message ends in its counter ("...3/120"),
// which a long workbook name would push out of the fixed-width line: an overlong text gives up the
// middle of itself instead.
class MessageLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The progress window. Opened, changed and closed only through the operations of waitmsg.h.
class TMsgFrm : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 393;
    static constexpr int kHeight = 54;

    explicit TMsgFrm(QWidget* parent = nullptr);
    ~TMsgFrm() override;

    void SetPosition(int position);

    MsgPanelFrame* MsgPanel = nullptr;
    MessageLabel* LblMsg = nullptr;
    QProgressBar* ProgressBar = nullptr;
    SearchAnimation* Ani = nullptr;
};

} // namespace quill::shell
