#include "platform/text.h"

namespace quill::platform {

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

bool endsWithAsciiNoCase(const QString& text, QLatin1StringView ending)
{
    if (text.size() < ending.size())
        return false;
    const qsizetype offset = text.size() - ending.size();
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; };
    for (qsizetype i = 0; i < ending.size(); ++i) {
        if (upper(text.at(offset + i).unicode()) != upper(static_cast<unsigned char>(ending.at(i).toLatin1())))
            return false;
    }
    return true;
}

namespace {

qsizetype dashes(const QString& option)
{
    qsizetype n = 0;
    while (n < option.size() && n < 2 && option[n] == u'-')
        ++n;
    return n;
}

} // namespace

bool mayCarryPassword(const QString& option)
{
    const qsizetype n = dashes(option);
    return n < option.size() && (option[n] == u'p' || option[n] == u'P');
}

QString shownOption(const QString& option)
{
    if (!mayCarryPassword(option))
        return option;
    const qsizetype n = dashes(option);
    const QStringView name = QStringView(option).mid(n);
    const qsizetype kept = name.startsWith(u"pass", Qt::CaseInsensitive) ? 4 : 1;
    if (name.size() <= kept)
        return option;
    return option.left(n) + name.left(kept) + u'…';
}

} // namespace quill::platform
