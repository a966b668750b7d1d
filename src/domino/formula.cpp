#include "domino/formula.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::domino {

ValueList EvaluateAttachmentNames(const QString& formula, const std::function<QStringList()>& attachmentNames)
{
    if (formula.trimmed().compare(u"@AttachmentNames"_s, Qt::CaseInsensitive) != 0)
        throw DominoError(u"不支持的公式："_s + formula);
    if (!attachmentNames)
        throw DominoError(u"公式的文档不是本组件的文档对象"_s);
    ValueList values;
    for (const QString& name : attachmentNames())
        values.push_back(Value::text(name));
    return values;
}

} // namespace quill::domino
