#pragma once

#include <QString>

namespace quill::fuzz {

// Small valid databases made with the admin operations, so that they follow the file format as it is:
// 0 holds every item type, rich text with objects, attachments and sorted, filtered and formula views;
// 1 is a database without documents or views; 2 a few documents reached through view aliases.
// Pages of 512 bytes keep the files small for a fuzzer.
inline constexpr int kFuzzDatabaseVariants = 3;
void makeFuzzDatabase(const QString& path, int variant);

} // namespace quill::fuzz
