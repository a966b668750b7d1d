#pragma once

#include <QWidget>

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

} // namespace quill::shell
