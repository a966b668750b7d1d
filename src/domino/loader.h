#pragma once

#include "domino/notes.h"

#include <QString>

#include <functional>
#include <memory>

namespace quill::platform {
class Registry;
}

namespace quill::domino {

// Where the session class is registered, below HKEY_LOCAL_MACHINE; the default value names the
// component library.
inline constexpr char16_t kSessionClassKey[] =
    u"\\SOFTWARE\\Classes\\CLSID\\{29131539-2EED-1069-BF5D-00DD011186B7}\\InprocServer32";
inline constexpr char16_t kComponentFileName[] = u"libnlsxbe.so";

using SessionFactory = std::function<std::unique_ptr<NotesSession>()>;

// Loads the component library named by the session class's registration and calls its entry
// point. The library is loaded on the first call and kept loaded for the rest of the process.
// Throws DominoError with a clear message when the registration is missing, the file is missing,
// or the library lacks the entry point.
std::unique_ptr<NotesSession> createRegisteredSession(const platform::Registry& registry);

// Checks that a file is a loadable component library exporting the entry point, without creating
// a session. Throws DominoError with the reason otherwise.
void verifyComponentLibrary(const QString& libraryPath);

// A factory that reads the registration afresh at each call.
SessionFactory registeredSessionFactory(const platform::Registry& registry);

} // namespace quill::domino
