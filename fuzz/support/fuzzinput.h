#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

namespace quill::fuzz {

// An input made of texts and a tail of bytes: the first `count` fields are UTF-8 texts, each ended by
// a NUL byte; whatever follows is the tail. False when the input holds fewer fields.
bool splitFields(const uint8_t* data, size_t size, int count, QStringList* fields, QByteArray* tail);

// A folder for the files of this process, removed when it ends.
const QString& scratchFolder();

// Reads a whole file; an empty array when it cannot be read.
QByteArray readWholeFile(const QString& path);
// Writes a whole file, replacing it; aborts when that fails (the harness, not the input, is broken).
void writeWholeFile(const QString& path, const QByteArray& bytes);

// Stops the run with a message: a broken property is a finding like a crash.
[[noreturn]] void propertyFailed(const char* what, const QString& detail);

} // namespace quill::fuzz
