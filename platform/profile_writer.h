#pragma once
#include <string>
#include <string_view>

namespace tarnisk::platform {

// Writes name=value into "[section]" of an INI-style file, lines ending in CR LF. Creates the file
// when its folder exists, adds the section when missing, replaces an entry whose name matches
// without regard to ASCII case, and leaves every other line as it was. The file is replaced
// atomically (a temporary file in the same folder, then rename), so a reader never sees half a
// write. Returns false when nothing could be written.
bool WriteProfileString(std::string_view section, std::string_view name, std::string_view value,
                        const std::string& filePath);

}  // namespace tarnisk::platform
