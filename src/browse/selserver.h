#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quill::shell {
class Prompts;
struct MainState;
} // namespace quill::shell

namespace quill::browse {

// The connection dialog: server name, login name and password, written straight into the main
// window's state on confirmation. Enter and Escape mean nothing here.
class Tfrmselserver : public QDialog
{
    Q_OBJECT
public:
    Tfrmselserver(shell::MainState& state, shell::Prompts& prompts, QWidget* parent = nullptr);

    // True unless the dialog ended with a valid confirmation.
    bool cancelled = true;

    void FormShow();
    void Button1Click();
    void Button2Click();

    QLineEdit* Edit1() const { return m_edit1; }
    QLineEdit* Edit2() const { return m_edit2; }
    QLineEdit* Edit3() const { return m_edit3; }
    QPushButton* Button1() const { return m_button1; }
    QPushButton* Button2() const { return m_button2; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    shell::MainState& m_state;
    shell::Prompts& m_prompts;
    QGroupBox* m_gr1 = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QLineEdit* m_edit2 = nullptr;
    QLineEdit* m_edit3 = nullptr;
    QPushButton* m_button1 = nullptr;
    QPushButton* m_button2 = nullptr;
};

} // namespace quill::browse
