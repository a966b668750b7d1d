#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

class QPushButton;

namespace quill::shell {

// The web-address line: red under the mouse, black otherwise; a click opens the address.
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

class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // opener defaults to the desktop's browser (QDesktopServices::openUrl).
    explicit TfrmAbout(QWidget* parent = nullptr, UrlOpener opener = {});

    LinkLabel* linkLabel() const { return m_link; }
    QPushButton* okButton() const { return m_ok; }
    QStringList lines() const;

private:
    UrlOpener m_opener;
    QList<QLabel*> m_lines;
    LinkLabel* m_link = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace quill::shell
