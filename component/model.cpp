#include "model.h"

#include "domino/error.h"

#include <QJsonDocument>
#include <sodium.h>

using namespace Qt::StringLiterals;

namespace quill::component {

bool isTextListType(int type)
{
    return type == TextType || type == NamesType || type == ReadersType || type == AuthorsType;
}

bool isKnownItemType(int type)
{
    return isTextListType(type) || type == RichTextType || type == NumberType || type == DateTimeType;
}

domino::ValueList decodeValues(int type, const QString& stored)
{
    using domino::Value;
    const QJsonArray array = QJsonDocument::fromJson(stored.toUtf8()).array();
    domino::ValueList values;
    values.reserve(size_t(array.size()));
    for (const QJsonValue& element : array) {
        if (type == NumberType)
            values.push_back(Value::number(element.toDouble()));
        else if (type == DateTimeType)
            values.push_back(Value::dateTime(QDateTime::fromMSecsSinceEpoch(qint64(element.toDouble()))));
        else
            values.push_back(Value::text(element.toString()));
    }
    return values;
}

QString encodeValues(const QJsonArray& values)
{
    return QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
}

int itemTypeFromName(const QString& name)
{
    static const std::pair<const char16_t*, int> names[] = {
        {u"text", TextType},         {u"number", NumberType}, {u"datetime", DateTimeType}, {u"date", DateTimeType},
        {u"richtext", RichTextType}, {u"names", NamesType},   {u"readers", ReadersType},   {u"authors", AuthorsType},
    };
    for (const auto& [text, type] : names) {
        if (name.compare(QStringView(text), Qt::CaseInsensitive) == 0)
            return type;
    }
    return 0;
}

QByteArray hashPassword(const QByteArray& password)
{
    if (sodium_init() < 0)
        throw domino::DominoError(u"无法初始化libsodium"_s);
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), quint64(password.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw domino::DominoError(u"无法计算密码的散列值（内存不足）"_s);
    return QByteArray(hash);
}

} // namespace quill::component
