#pragma once

#include <QByteArray>
#include <QString>

namespace quill::platform {

// The program's 8-bit code page is GBK; we encode as GB18030, its superset, so that characters
// outside GBK survive a round trip instead of becoming "?".
QByteArray toGbk(const QString& text);
QString fromGbk(const QByteArray& bytes);
// UTF-8 text as it stands: unlike QString::fromUtf8, a leading U+FEFF is kept, as it is part of a value.
QString fromUtf8Text(const QByteArray& bytes);

// Length in bytes of the GBK form: a Chinese character counts 2, ASCII 1.
int gbkLength(const QString& text);

} // namespace quill::platform
