#include "shell/aboutdialog.h"

#include "shell/icons.h"
#include "shell/linklabel.h"
#include "shell/screencentre.h"
#include "shell/vendor.h"

#include <QDesktopServices>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

namespace quill::shell {
namespace {

QPixmap renderLogo(qreal ratio)
{
    QPixmap pixmap(QSize(289, 41) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(logoResource());
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, 289, 41));
    return pixmap;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent, UrlOpener opener) : QDialog(parent), m_opener(std::move(opener))
{
    if (!m_opener)
        m_opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    setObjectName(u"aboutDialog"_s);
    setWindowTitle(u"关于"_s);
    setFixedSize(380, 301);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);

    auto* logo = new QLabel(this);
    logo->setObjectName(u"logo"_s);
    logo->setPixmap(renderLogo(logo->devicePixelRatioF()));
    logo->setGeometry((380 - 289) / 2, 16, 289, 41);

    auto* product = new QLabel(QString::fromUtf16(kAppTitle), this);
    QFont big = product->font();
    big.setPixelSize(19);
    big.setBold(true);
    product->setFont(big);
    product->setAlignment(Qt::AlignCenter);
    product->setGeometry(0, 68, 380, 28);

    const QString texts[] = {
        u"开发："_s + QString::fromUtf16(kVendorName),
        u"电话："_s + QString::fromUtf16(kVendorPhone),
        u"客服QQ："_s + QString::fromUtf16(kVendorQq),
        u"手机："_s + QString::fromUtf16(kVendorMobile),
    };
    int top = 108;
    for (const QString& text : texts) {
        auto* line = new QLabel(text, this);
        line->setGeometry(72, top, 290, 20);
        m_lines << line;
        top += 24;
    }
    m_link = new LinkLabel(u"网址:"_s + QString::fromUtf16(kVendorWebsite), this);
    m_link->setGeometry(72, top, 290, 20);
    m_lines << m_link;
    connect(m_link, &LinkLabel::clicked, this, [this] { m_opener(QUrl(QString::fromUtf16(kVendorWebsite))); });

    m_ok = new QPushButton(u"确       定"_s, this);
    m_ok->setGeometry((380 - 100) / 2, 256, 100, 28);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    centreOnScreen(this);
}

QStringList AboutDialog::lines() const
{
    QStringList out;
    for (const QLabel* line : m_lines)
        out << line->text();
    return out;
}

} // namespace quill::shell
