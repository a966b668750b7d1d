#pragma once

#include "workspace/workspace.h"

#include <QDialog>
#include <optional>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quill::shell {
class Prompts;
}

namespace quill::browse {

// The connection dialog: server name, login name and password, offered as last confirmed and
// answered trimmed. Enter confirms, Escape cancels.
class ConnectionDialog : public QDialog
{
    Q_OBJECT
public:
    ConnectionDialog(const workspace::Credentials& offered, shell::Prompts& prompts, QWidget* parent = nullptr);

    // Shows the dialog modally; what the user confirmed, or nullopt.
    static std::optional<workspace::Credentials> ask(const workspace::Credentials& offered, shell::Prompts& prompts,
                                                     QWidget* parent);

    // What the user confirmed at the last showing, or nullopt when it ended any other way.
    const std::optional<workspace::Credentials>& answer() const { return m_answer; }

    // The two buttons.
    void confirm();
    void cancel();

    QLineEdit* serverEdit() const { return m_serverEdit; }
    QLineEdit* userEdit() const { return m_userEdit; }
    QLineEdit* passwordEdit() const { return m_passwordEdit; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    workspace::Credentials m_offered;
    shell::Prompts& m_prompts;
    std::optional<workspace::Credentials> m_answer;
    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace quill::browse
