#include "platform/gbk.h"

#include <cerrno>
#include <iconv.h>

namespace quill::platform {
namespace {

QByteArray convert(const char* to, const char* from, const QByteArray& input)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.resize(input.size() * 2 + 16);
    char* inPtr = const_cast<char*>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        } else {
            // An invalid or cut-off byte sequence: skip one byte rather than lose the rest.
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    out.resize(outPtr - out.data());
    return out;
}

} // namespace

QByteArray toGbk(const QString& text)
{
    return convert("GB18030", "UTF-8", text.toUtf8());
}

QString fromGbk(const QByteArray& bytes)
{
    return QString::fromUtf8(convert("UTF-8", "GB18030", bytes));
}

int gbkLength(const QString& text)
{
    return static_cast<int>(toGbk(text).size());
}

} // namespace quill::platform
