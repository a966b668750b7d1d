#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace quill::shell {

class LinkLabel;

// The about dialog: the product, the vendor's contacts and its web address, which opens in the browser.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // opener defaults to the desktop's browser (QDesktopServices::openUrl).
    explicit AboutDialog(QWidget* parent = nullptr, UrlOpener opener = {});

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
