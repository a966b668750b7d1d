#pragma once

#include <QString>

class QWidget;

namespace quill::shell {

class TMsgFrm;

// The one open progress window, or nullptr. Callers use the operations below, never the window.
extern TMsgFrm* MsgFrm;

// The window the progress window centres over (the main window); nullptr centres on the screen.
void SetMsgFrmHost(QWidget* host);

void ShowMsgFrm();
void ShowMsgFrmText(const QString& text);
void SetMsgText(const QString& text);
void SetMsgProgress(qint32 max, qint32 position);
void CloseMsgFrm();

} // namespace quill::shell
