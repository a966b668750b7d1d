#pragma once

#include "domino/value.h"

#include <QStringList>
#include <functional>

namespace quill::domino {

// NotesSession::EvaluateFormula as every implementation gives it. Only "@AttachmentNames" is understood,
// trimmed and without regard to case; it gives the document's attachment file names, which attachmentNames
// lists. An empty attachmentNames stands for a document of another implementation, which is refused.
ValueList EvaluateAttachmentNames(const QString& formula, const std::function<QStringList()>& attachmentNames);

} // namespace quill::domino
