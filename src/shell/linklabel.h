#pragma once

#include <QLabel>

namespace quill::shell {

// A web-address line: red under the mouse, black otherwise; a click says so.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
    bool isHot() const { return m_hot; }

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setHot(bool hot);
    bool m_hot = false;
};

} // namespace quill::shell
