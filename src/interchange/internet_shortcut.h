#pragma once
// Internet shortcut files (".url"): the small INI files Internet Explorer keeps
// one favorite in. Reading fills a bookmark the caller has already added;
// writing puts one bookmark's file under an output folder.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "store/xbel_elements.h"

namespace tessellink {

class TRunLog;

// Tells the user something that needs no answer (the GUI shows a message box,
// the command-line tool prints a line). May be empty.
using TShowMessage = std::function<void(std::string_view message)>;

inline constexpr std::string_view kCannotCreateOutputDirectory = "Can not create output directory!";

// The longest file or folder name the file system takes, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// The longest shortcut file name written, ".url" included.
inline constexpr std::size_t kMaxShortcutNameBytes = kMaxFileNameBytes;

// The 18-character Modified value: the FILETIME (100-ns steps since
// 1601-01-01, no zone shift) as its 8 bytes lowest first, two upper-case hex
// digits each, then "DE". Throws AppError for a moment before 1601-01-01.
std::string EncodeShortcutModified(TDateTime value);
// Reads the first 16 characters only. Throws AppError when a group of two is
// missing or not hexadecimal, or the moment lies past the year 9999.
TDateTime DecodeShortcutModified(std::string_view text);

// Fills `bookmark` from the file: href, title (the file name less its last
// four characters), tags from the folder titles above it, and modified and
// added from the Modified value. Any failure logs the file's path and returns;
// the bookmark keeps what was set up to then.
void ReadShortcutFile(TXMLBookmarkType bookmark, const std::filesystem::path& file, TRunLog* log);

// Each of " * / \ : < > ? | % becomes an underscore.
std::string SafeFileName(std::string_view text);

// The shortcut's path under an output folder: the cleaned titles of the
// folders above the bookmark, then its cleaned title and ".url". Every part is
// a plain name (never empty, "." or "..") cut at a character boundary: folder
// names within kMaxFileNameBytes, the file name within kMaxShortcutNameBytes.
std::filesystem::path ShortcutPathOf(TXMLBookmarkType bookmark);

// Writes the bookmark's shortcut file, creating the folders it needs. A folder
// that cannot be created is logged and shown as kCannotCreateOutputDirectory;
// any other failure (including a path that would leave the output folder) is
// logged as "export to ie error:<reason>". Returns whether the file was written.
bool WriteShortcutFile(TXMLBookmarkType bookmark, const std::filesystem::path& outputFolder, TRunLog* log,
                       const TShowMessage& showMessage = {});

}  // namespace tessellink
