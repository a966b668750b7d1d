#include "browse/connectiondialog.h"

#include "shell/prompts.h"
#include "shell/screencentre.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace quill::browse {

ConnectionDialog::ConnectionDialog(const workspace::Credentials& offered, shell::Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_offered(offered), m_prompts(prompts)
{
    setWindowTitle(u"连接服务器"_s);
    setModal(true);
    // Outer size 260 x 225 with a usual frame (4 pixels each side, a 19-pixel caption).
    setFixedSize(252, 198);
    shell::centreOnScreen(this);

    auto* options = new QGroupBox(u"选项"_s, this);
    options->setGeometry(16, 16, 217, 121);

    auto* serverLabel = new QLabel(u"服务器名："_s, options);
    serverLabel->move(16, 32);
    auto* userLabel = new QLabel(u"登录名："_s, options);
    userLabel->move(16, 64);
    auto* passwordLabel = new QLabel(u"用户密码："_s, options);
    passwordLabel->move(16, 88);

    m_serverEdit = new QLineEdit(options);
    m_serverEdit->setGeometry(80, 24, 113, 21);
    m_userEdit = new QLineEdit(options);
    m_userEdit->setGeometry(80, 56, 113, 21);
    m_passwordEdit = new QLineEdit(options);
    m_passwordEdit->setGeometry(80, 88, 113, 21);
    m_passwordEdit->setEchoMode(QLineEdit::Normal);
    setTabOrder(m_serverEdit, m_userEdit);
    setTabOrder(m_userEdit, m_passwordEdit);

    m_okButton = new QPushButton(u"确  定"_s, this);
    m_okButton->setGeometry(32, 152, 81, 28);
    m_cancelButton = new QPushButton(u"取  消"_s, this);
    m_cancelButton->setGeometry(120, 152, 81, 27);
    // Enter confirms and Escape cancels, as in the program's other dialogs.
    m_cancelButton->setAutoDefault(false);
    m_okButton->setAutoDefault(false);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &ConnectionDialog::confirm);
    connect(m_cancelButton, &QPushButton::clicked, this, &ConnectionDialog::cancel);
    m_serverEdit->setFocus();
}

std::optional<workspace::Credentials> ConnectionDialog::ask(const workspace::Credentials& offered,
                                                            shell::Prompts& prompts, QWidget* parent)
{
    // Destroyed on every way out, also when what follows the answer throws.
    const auto dialog = std::make_unique<ConnectionDialog>(offered, prompts, parent);
    dialog->exec();
    return dialog->answer();
}

void ConnectionDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_serverEdit->setText(m_offered.serverName);
    m_userEdit->setText(m_offered.userName);
    m_passwordEdit->setText(m_offered.password);
    m_answer.reset();
}

void ConnectionDialog::confirm()
{
    const workspace::CredentialsCheck check =
        workspace::checkCredentials({m_serverEdit->text(), m_userEdit->text(), m_passwordEdit->text()});
    if (!check.credentials) {
        m_prompts.showMessage(check.message);
        return;
    }
    m_answer = check.credentials;
    // Shown again, the dialog offers what was confirmed.
    m_offered = *m_answer;
    accept();
}

void ConnectionDialog::cancel()
{
    m_answer.reset();
    reject();
}

} // namespace quill::browse
