#pragma once

#include "domino/value.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

namespace quill::component {

// Item types as stored; the same numbers as NotesItem's.
enum ItemType
{
    RichTextType = 1,
    NumberType = 768,
    DateTimeType = 1024,
    TextType = 1280,
    NamesType = 1074,
    ReadersType = 1075,
    AuthorsType = 1076,
};

bool isTextListType(int type);
bool isKnownItemType(int type);

// Stored values are a JSON array: strings for text types and rich text (its plain text), numbers for
// number items, milliseconds since the epoch for date-times.
domino::ValueList decodeValues(int type, const QString& stored);
QString encodeValues(const QJsonArray& values);

// "text", "number", ... → the type; 0 when unknown.
int itemTypeFromName(const QString& name);

} // namespace quill::component
