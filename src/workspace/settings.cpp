#include "workspace/settings.h"

#include "platform/hostname.h"
#include "platform/profile.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

Credentials ReadSettings(const QString& path)
{
    Credentials credentials;
    credentials.serverName = platform::readProfileString(path, u"domino"_s, u"server"_s);
    credentials.userName = platform::readProfileString(path, u"domino"_s, u"username"_s);
    credentials.password = platform::readProfileString(path, u"domino"_s, u"pwd"_s);
    if (credentials.serverName.isEmpty())
        credentials.serverName = platform::LocalHostName();
    return credentials;
}

void WriteSettings(const QString& path, const Credentials& credentials)
{
    platform::writeProfileStrings(path, u"domino"_s,
                                  {{u"server"_s, credentials.serverName},
                                   {u"username"_s, credentials.userName},
                                   {u"pwd"_s, credentials.password}});
}

bool readHtmlPagesSetting(const QString& path)
{
    return platform::readProfileString(path, u"export"_s, u"html"_s).trimmed() != u"0"_s;
}

void writeHtmlPagesSetting(const QString& path, bool on)
{
    platform::writeProfileStrings(path, u"export"_s, {{u"html"_s, on ? u"1"_s : u"0"_s}});
}

} // namespace quill::workspace
