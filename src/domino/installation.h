#pragma once

#include <QString>

namespace quill::platform {
class Registry;
}

namespace quill::domino {

inline constexpr char16_t kDominoKey[] = u"\\Software\\Lotus\\Domino";
inline constexpr char16_t kNotesKey[] = u"\\Software\\Lotus\\Notes";
// What the folder queries give for a missing installation, and what they append to a folder that is gone.
inline constexpr char16_t kNotInstalled[] = u"没有安装Domino";
inline constexpr char16_t kFolderMissing[] = u"(找不到该目录)";
// What a command that needs Domino says when neither a client nor a server is installed.
inline constexpr char16_t kDominoRequired[] =
    u"对不起，Quillmere要求运行的电脑上已经安装过Domino客户端或服务器端软件!请安装Domino环境后再运行本系统!";

// Installation queries; each reads the registry afresh and opens keys for reading only.
bool DominoInstalled(const platform::Registry& registry);
bool NotesInstalled(const platform::Registry& registry);
QString DominoPath(const platform::Registry& registry);
QString DominoDataPath(const platform::Registry& registry);
QString NotesPath(const platform::Registry& registry);

// What a registration check did; the shell tells the user about the last two.
enum class Registration
{
    Unchanged,      // already right, or no installation folder to register from
    Written,        // the registration now names the installation's component library
    LibraryMissing, // the installation folder holds no component library
    Failed,         // the library is not a loadable component, or the registry could not be written
};

// Makes the session class's registration name folder + "/libnlsxbe.so". A folder that is missing
// (empty, marked as gone, or "没有安装Domino") leaves any registration alone: one made from it would
// only damage one that may still work.
Registration CheckNotesComponent(platform::Registry& registry, const QString& folder);
// Registers the library file after checking that it is a loadable component.
Registration RegisterNotesComponent(platform::Registry& registry, const QString& file);
// The check made at start-up, against the Domino installation or else the Notes one.
Registration StartupComponentCheck(platform::Registry& registry);

} // namespace quill::domino
