#pragma once

#include "platform/version.h"

namespace quill::shell {

// The application title: caption of the main window and of every plain message box.
inline constexpr char16_t kAppTitle[] = u"QuillmereV" QUILL_VERSION_MAJOR_MINOR;

// The vendor's own details, shown in the status bar, the about dialog and the installation messages.
inline constexpr char16_t kVendorName[] = u"Quillmere 开发组";
inline constexpr char16_t kVendorPhone[] = u"400-800-1234";
inline constexpr char16_t kVendorQq[] = u"400800123";
inline constexpr char16_t kVendorMobile[] = u"138-0000-1234";
inline constexpr char16_t kVendorWebsite[] = u"https://quillmere.example.org/";
inline constexpr char16_t kServiceLine[] = u"Quillmere 客服：400-800-1234";
inline constexpr char16_t kSupportContact[] = u"Quillmere客服(电话400-800-1234)";

} // namespace quill::shell
