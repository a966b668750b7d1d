#pragma once

#include "domino/notes.h"
#include "domino/value.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <optional>

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

bool isTextListType(qint64 type);
bool isKnownItemType(qint64 type);

// Stored values are a JSON array: strings for text types and rich text (its plain text), numbers for
// number items. A date-time item's value is one of
//   an instant: milliseconds since the epoch, a number (all that files of schema version 1 hold);
//   "D:1976-03-03": a date without a time;
//   "T:08:30:00.000": a time without a date;
//   "L:1976-03-03T08:30:00.000": a date and time as the writer's clock showed them, in no zone.
// Throws DominoError saying what is wrong when the text is not such an array for the type (a damaged or
// altered file), an unknown type among them.
domino::ValueList decodeValues(qint64 type, const QString& stored);
QString encodeValues(const QJsonArray& values);

// A date-time as a writer gives it: a date, a time or both (what it leaves out invalid), with its zone's
// offset from UTC when known. A date and time with an offset is an instant, without one the writer's clock.
QJsonValue storedDateTime(QDate date, QTime time, std::optional<int> offsetSeconds);
QJsonValue storedInstant(qint64 msecs);
QJsonValue storedDate(QDate date);
QJsonValue storedTime(QTime time);
QJsonValue storedWallClock(QDate date, QTime time);

// The local date-time of an instant as stored; nullopt outside the years 1 to 9999 (in any zone).
std::optional<QDateTime> instantAt(qint64 msecs);

// "text", "number", ... → the type; 0 when unknown.
int itemTypeFromName(const QString& name);

// A password's stored form: libsodium's crypto_pwhash_str with the interactive limits. Throws DominoError.
QByteArray hashPassword(const QByteArray& password);

} // namespace quill::component
