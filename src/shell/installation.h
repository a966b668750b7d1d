#pragma once

#include <QString>

namespace quill::platform {
class Registry;
}

namespace quill::shell {

class Prompts;

inline constexpr char16_t kDominoKey[] = u"\\Software\\Lotus\\Domino";
inline constexpr char16_t kNotesKey[] = u"\\Software\\Lotus\\Notes";
inline constexpr char16_t kNotInstalled[] = u"没有安装Domino";
inline constexpr char16_t kFolderMissing[] = u"(找不到该目录)";

// Installation queries; each reads the registry afresh and opens keys for reading only.
bool DominoInstalled(const platform::Registry& registry);
bool NotesInstalled(const platform::Registry& registry);
QString DominoPath(const platform::Registry& registry);
QString DominoDataPath(const platform::Registry& registry);
QString NotesPath(const platform::Registry& registry);

// Makes the component registration name folder + "/libnlsxbe.so". Always true.
bool CheckNotesComponent(platform::Registry& registry, Prompts& prompts, const QString& folder);
void RegisterNotesComponent(platform::Registry& registry, Prompts& prompts, const QString& file);
void StartupComponentCheck(platform::Registry& registry, Prompts& prompts);

} // namespace quill::shell
