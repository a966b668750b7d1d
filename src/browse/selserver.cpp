#include "browse/selserver.h"

#include "platform/text.h"
#include "shell/mainwindow.h"
#include "shell/prompts.h"
#include "shell/screencentre.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace quill::browse {

Tfrmselserver::Tfrmselserver(shell::MainState& state, shell::Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_state(state), m_prompts(prompts)
{
    setWindowTitle(u"连接服务器"_s);
    setModal(true);
    // Outer size 260 x 225 with a usual frame (4 pixels each side, a 19-pixel caption).
    setFixedSize(252, 198);
    shell::centreOnScreen(this);

    m_gr1 = new QGroupBox(u"选项"_s, this);
    m_gr1->setGeometry(16, 16, 217, 121);

    auto* label1 = new QLabel(u"服务器名："_s, m_gr1);
    label1->move(16, 32);
    auto* label2 = new QLabel(u"登录名："_s, m_gr1);
    label2->move(16, 64);
    auto* label3 = new QLabel(u"用户密码："_s, m_gr1);
    label3->move(16, 88);

    m_edit1 = new QLineEdit(m_gr1);
    m_edit1->setGeometry(80, 24, 113, 21);
    m_edit2 = new QLineEdit(m_gr1);
    m_edit2->setGeometry(80, 56, 113, 21);
    m_edit3 = new QLineEdit(m_gr1);
    m_edit3->setGeometry(80, 88, 113, 21);
    m_edit3->setEchoMode(QLineEdit::Normal);
    setTabOrder(m_edit1, m_edit2);
    setTabOrder(m_edit2, m_edit3);

    m_button1 = new QPushButton(u"确  定"_s, this);
    m_button1->setGeometry(32, 152, 81, 28);
    m_button2 = new QPushButton(u"取  消"_s, this);
    m_button2->setGeometry(120, 152, 81, 27);
    for (QPushButton* button : {m_button1, m_button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(m_button1, &QPushButton::clicked, this, &Tfrmselserver::Button1Click);
    connect(m_button2, &QPushButton::clicked, this, &Tfrmselserver::Button2Click);
    m_edit1->setFocus();
}

void Tfrmselserver::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfrmselserver::FormShow()
{
    m_edit1->setText(m_state.serverName);
    m_edit2->setText(m_state.userName);
    m_edit3->setText(m_state.password);
    cancelled = true;
}

void Tfrmselserver::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void Tfrmselserver::Button1Click()
{
    const QString server = platform::trimBlanks(m_edit1->text());
    if (server.isEmpty()) {
        m_prompts.showMessage(u"服务器名不能为空"_s);
        return;
    }
    const QString user = platform::trimBlanks(m_edit2->text());
    if (user.isEmpty()) {
        m_prompts.showMessage(u"登录用名不能为空"_s);
        return;
    }
    m_state.serverName = server;
    m_state.userName = user;
    m_state.password = platform::trimBlanks(m_edit3->text());
    cancelled = false;
    accept();
}

void Tfrmselserver::Button2Click()
{
    cancelled = true;
    reject();
}

} // namespace quill::browse
