#include "platform/hostname.h"

#include <QByteArray>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::platform {

QString upperAsciiLetters(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return out;
}

QString LocalHostName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0')
        return u"LOCALHOST"_s;
    QByteArray name(buffer);

    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(buffer, nullptr, &hints, &result) == 0 && result) {
        if (result->ai_canonname && result->ai_canonname[0] != '\0')
            name = QByteArray(result->ai_canonname);
        freeaddrinfo(result);
    }
    return upperAsciiLetters(QString::fromLocal8Bit(name));
}

} // namespace quill::platform
