#include "interchange/internet_shortcut.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/folder_tags.h"
#include "interchange/ini_file.h"
#include "interchange/interchange_log.h"
#include "store/date_text.h"
#include "store/xbel_document.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "InternetShortcut";
constexpr std::string_view kUrlExtension = ".url";
constexpr int64_t kTicksPerDay = 864000000000;
constexpr int64_t kTicksPerMs = 10000;
// 1601-01-01 as a day number of TDateTime.
constexpr int64_t kFileTimeEpochDay = -109205;
// The first moment past 9999-12-31, counted from 1601-01-01.
constexpr int64_t kFileTimeEnd = (2958466 - kFileTimeEpochDay) * kTicksPerDay;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// At most `maxBytes` bytes of the text, never ending inside a UTF-8 sequence.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  for (int back = 0; back < 3 && end > 0 && IsContinuationByte(text[end]); ++back) --end;
  return text.substr(0, end);
}

// The first `count` characters (invalid bytes count one each).
std::string_view FirstCharacters(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t n = 0; i < text.size() && n < count; ++n) {
    ++i;
    while (i < text.size() && IsContinuationByte(text[i])) ++i;
  }
  return text.substr(0, i);
}

// The text less its last `count` characters.
std::string_view DropLastCharacters(std::string_view text, std::size_t count) {
  std::size_t end = text.size();
  for (std::size_t n = 0; n < count && end > 0; ++n) {
    --end;
    for (int back = 0; back < 3 && end > 0 && IsContinuationByte(text[end]); ++back) --end;
  }
  return text.substr(0, end);
}

// A folder title as one directory name: never empty, "." or "..", which
// would fold into or climb out of the folder above it.
std::string FolderPart(std::string_view title) {
  std::string name(CutAtCharacter(SafeFileName(title), kMaxFileNameBytes));
  if (name.empty() || name == "." || name == "..") name = "_";
  return name;
}

// The path as the system would resolve it; a final link is followed even when
// it points nowhere yet, since writing through it would create its target.
fs::path Resolved(const fs::path& path) {
  fs::path p = path;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
    const fs::path link = fs::read_symlink(p, ec);
    if (ec) break;
    p = link.is_absolute() ? link : p.parent_path() / link;
  }
  p = fs::weakly_canonical(p);
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  return p;
}

// Cleaned names cannot climb out of the output folder; a symbolic link already
// inside it still could.
void EnsureInside(const fs::path& outputFolder, const fs::path& full) {
  const fs::path base = Resolved(outputFolder);
  const fs::path target = Resolved(full);
  auto [b, t] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  if (b != base.end() || t == target.end())
    throw AppError("the path \"" + full.string() + "\" lies outside the output folder");
}

// The day of `added` at midnight when it names one the Modified value can
// hold; otherwise the current local time.
TDateTime ShortcutDate(std::string_view added) {
  if (!added.empty())
    if (const std::optional<TDateTime> day = ParseDayText(added); day && *day >= kFileTimeEpochDay) return *day;
  return NowLocal();
}

}  // namespace

std::string EncodeShortcutModified(TDateTime value) {
  // From the calendar fields: before 1899-12-30 the time of day counts away
  // from zero, so the plain scaling of the day count would go wrong there.
  const DateTimeFields f = DecodeDateTime(value);
  const std::optional<TDateTime> day = EncodeDate(f.year, f.month, f.day);
  if (!day || *day < kFileTimeEpochDay) throw AppError("the date lies before 1601-01-01");
  const int64_t days = static_cast<int64_t>(*day) - kFileTimeEpochDay;
  const int64_t ms = ((f.hour * 60LL + f.minute) * 60 + f.second) * 1000 + f.millisecond;
  uint64_t count = static_cast<uint64_t>(days * kTicksPerDay + ms * kTicksPerMs);
  std::string text;
  text.reserve(18);
  for (int i = 0; i < 8; ++i, count >>= 8) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(count & 0xFF));
    text.append(pair, 2);
  }
  return text.append("DE");
}

TDateTime DecodeShortcutModified(std::string_view text) {
  uint64_t count = 0;
  // The lowest byte comes first: read the groups from the last to the first.
  for (int group = 7; group >= 0; --group) {
    const std::size_t at = static_cast<std::size_t>(group) * 2;
    const int high = at + 1 < text.size() ? HexDigitValue(text[at]) : -1;
    const int low = at + 1 < text.size() ? HexDigitValue(text[at + 1]) : -1;
    if (high < 0 || low < 0)
      throw AppError("the Modified value \"" + RepairUtf8(text) + "\" is not a date");
    count = count << 8 | static_cast<uint64_t>(high << 4 | low);
  }
  if (count >= static_cast<uint64_t>(kFileTimeEnd))
    throw AppError("the Modified value \"" + RepairUtf8(text) + "\" lies past the year 9999");
  return FromFileTime(static_cast<int64_t>(count));
}

void ReadShortcutFile(TXMLBookmarkType bookmark, const fs::path& file, TRunLog* log) {
  try {
    // A missing file reads as an empty one. Anything but a plain file (a pipe
    // would block) and anything too big to load back as a bookmark is refused.
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (fs::exists(status)) {
      if (!fs::is_regular_file(status)) throw FileReadError("\"" + file.string() + "\" is not a file");
      if (fs::file_size(file) > kMaxXbelTextBytes) throw FileReadError("\"" + file.string() + "\" is too large");
    }
    const TIniFile ini = TIniFile::Load(file);
    bookmark.SetHref(RepairUtf8(ini.ReadString(kSection, "URL")));
    bookmark.SetTitle(RepairUtf8(DropLastCharacters(file.filename().string(), kUrlExtension.size())));
    bookmark.SetModified(RepairUtf8(ini.ReadString(kSection, "Modified")));
    TagsFromFolderNames(bookmark);
    if (!bookmark.Modified().empty()) bookmark.SetModified(DateText(DecodeShortcutModified(bookmark.Modified())));
    bookmark.SetAdded(std::string(bookmark.Modified()));
  } catch (const std::exception&) {
    LogLine(log, file.string());
  }
}

std::string SafeFileName(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (std::string_view("\"*/\\:<>?|%").find(c) != std::string_view::npos) c = '_';
  return out;
}

fs::path ShortcutPathOf(TXMLBookmarkType bookmark) {
  std::string_view title = bookmark.Title();
  if (CharacterCount(title) >= 256) title = FirstCharacters(title, 255);
  std::string name(CutAtCharacter(SafeFileName(title), kMaxShortcutNameBytes - kUrlExtension.size()));
  name.append(kUrlExtension);

  std::vector<std::string> folders;
  for (pugi::xml_node n = bookmark.Node().parent(); n && !IsXbelRootNode(n); n = n.parent())
    if (IsFolderNode(n)) folders.push_back(FolderPart(TXMLFolderType(n).Title()));
  fs::path path;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) path /= *it;
  return path / name;
}

bool WriteShortcutFile(TXMLBookmarkType bookmark, const fs::path& outputFolder, TRunLog* log,
                       const TShowMessage& showMessage) {
  try {
    if (outputFolder.empty()) throw AppError("no output folder was given");
    const fs::path full = outputFolder / ShortcutPathOf(bookmark);
    EnsureInside(outputFolder, full);
    const fs::path folder = full.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
      fs::create_directories(folder, ec);
      if (!fs::is_directory(folder, ec)) {
        LogLine(log, kCannotCreateOutputDirectory);
        if (showMessage) showMessage(kCannotCreateOutputDirectory);
        return false;
      }
    }
    // A line break in the address would end the value and start a line of its own.
    std::string href(bookmark.Href());
    std::replace_if(href.begin(), href.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    const std::string text = "[InternetShortcut]\r\nURL=" + href + "\r\nModified=" +
                             EncodeShortcutModified(ShortcutDate(bookmark.Added())) + "\r\n";
    WriteFileAtomically(full, text);
    return true;
  } catch (const std::exception& e) {
    LogFormatted(log, "export to ie error:%s", e.what());
    return false;
  }
}

}  // namespace tessellink
