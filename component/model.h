#pragma once

#include "domino/notes.h"
#include "domino/value.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

namespace quill::component {

// Item types as stored: NotesItem's numbers.
enum ItemType
{
    RichTextType = domino::NotesItem::RichText,
    NumberType = domino::NotesItem::Number,
    DateTimeType = domino::NotesItem::DateTime,
    TextType = domino::NotesItem::Text,
    NamesType = domino::NotesItem::Names,
    ReadersType = domino::NotesItem::Readers,
    AuthorsType = domino::NotesItem::Authors,
};

bool isTextListType(int type);
bool isKnownItemType(int type);

// Stored values are a JSON array: strings for text types and rich text (its plain text), numbers for
// number items, milliseconds since the epoch for date-times.
domino::ValueList decodeValues(int type, const QString& stored);
QString encodeValues(const QJsonArray& values);

// "text", "number", ... → the type; 0 when unknown.
int itemTypeFromName(const QString& name);

// A password's stored form: libsodium's crypto_pwhash_str with the interactive limits. Throws DominoError.
QByteArray hashPassword(const QByteArray& password);

} // namespace quill::component
