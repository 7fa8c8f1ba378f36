#include "interchange/favorites.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

#include "common/text.h"
#include "interchange/interchange_log.h"
#include "store/date_text.h"
#include "store/xbel_document.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

// Deeper folders would make a document the loader refuses; the margin leaves
// room for the bookmark, its info and metadata below the deepest folder.
constexpr std::size_t kMaxImportDepth = kMaxXbelDepth - 16;

struct Listing {
  std::vector<std::string> files;    // plain files (or links to them) matching the mask
  std::vector<std::string> folders;  // names not beginning with "."
};

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Listings are sorted so that results do not depend on the file system's
// order. Symbolic links to folders are not followed: they could loop, or
// repeat a tree without end.
Listing ListFolder(const fs::path& folder, std::string_view mask) {
  Listing listing;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::string name = entry.path().filename().string();
    std::error_code typeError;
    const fs::file_status own = entry.symlink_status(typeError);
    if (typeError) continue;
    if (fs::is_directory(own)) {
      if (!name.empty() && name.front() != '.') listing.folders.push_back(std::move(name));
    } else if (fs::is_regular_file(fs::is_symlink(own) ? entry.status(typeError) : own) && !typeError &&
               MatchesFileMask(name, mask)) {
      listing.files.push_back(std::move(name));
    }
  }
  std::sort(listing.files.begin(), listing.files.end());
  std::sort(listing.folders.begin(), listing.folders.end());
  return listing;
}

void FindFiles(std::vector<fs::path>& list, const fs::path& folder, std::string_view mask) {
  const Listing listing = ListFolder(folder, mask);
  for (const std::string& name : listing.files) list.push_back(folder / name);
  for (const std::string& name : listing.folders) FindFiles(list, folder / name, mask);
}

// The folder's last change as local time, in the date form of bookmark files.
std::optional<std::string> LastWriteText(const fs::path& folder) {
  std::error_code ec;
  const fs::file_time_type stamp = fs::last_write_time(folder, ec);
  if (ec) return std::nullopt;
  const auto since1970 = std::chrono::file_clock::to_sys(stamp).time_since_epoch();
  const time_t seconds = static_cast<time_t>(std::chrono::floor<std::chrono::seconds>(since1970).count());
  tm local{};
  if (!localtime_r(&seconds, &local)) return std::nullopt;
  DateTimeFields f;
  f.year = local.tm_year + 1900;
  f.month = local.tm_mon + 1;
  f.day = local.tm_mday;
  f.hour = local.tm_hour;
  f.minute = local.tm_min;
  f.second = std::min(local.tm_sec, 59);  // a leap second
  if (!IsValidDate(f.year, f.month, f.day)) return std::nullopt;
  return DateText(EncodeDateTime(f));
}

void ImportLevel(TXbelBuilder& builder, const fs::path& path, TXMLContainerType parent, std::size_t depth) {
  const Listing listing = ListFolder(path, "*.url");
  for (const std::string& name : listing.files) {
    ReadShortcutFile(TXbelBuilder::AppendBookmark(parent), path / name, builder.RunLog);
    if (builder.Progress) builder.Progress->Advance();
  }
  for (const std::string& name : listing.folders) {
    const fs::path sub = path / name;
    if (depth + 1 > kMaxImportDepth) {
      LogLine(builder.RunLog, sub.string());
      continue;
    }
    TXMLFolderType folder = TXbelBuilder::AppendFolder(parent);
    folder.SetTitle(RepairUtf8(name));
    if (const std::optional<std::string> added = LastWriteText(sub)) folder.SetAdded(*added);
    ImportLevel(builder, sub, folder, depth + 1);
  }
}

std::size_t FolderDepth(TXMLContainerType parent) {
  std::size_t depth = 0;
  for (pugi::xml_node n = parent.Node(); n && !IsXbelRootNode(n); n = n.parent()) ++depth;
  return depth;
}

}  // namespace

fs::path FavoritesFolder(const fs::path& home) { return home.empty() ? fs::path() : home / "Favorites"; }

bool MatchesFileMask(std::string_view name, std::string_view mask) {
  // Iterative wildcard match, returning to the last "*" on a mismatch.
  std::size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  auto nextCharacter = [&](std::size_t i) {
    ++i;
    while (i < name.size() && IsContinuationByte(name[i])) ++i;
    return i;
  };
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      n = nextCharacter(n);
    } else if (m < mask.size() && AsciiUpper(mask[m]) == AsciiUpper(name[n])) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = starName = nextCharacter(starName);
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

void FindFilesRecursive(std::vector<fs::path>& list, const fs::path& folder, std::string_view mask) {
  FindFiles(list, folder, mask);
}

int CountShortcutFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  FindFilesRecursive(files, folder, "*.url");
  return static_cast<int>(files.size());
}

void ImportFavorites(TXbelBuilder& builder) { ImportFavoritesFolder(builder, builder.FavoritesPath, builder.Root()); }

void ImportFavoritesFolder(TXbelBuilder& builder, const fs::path& path, TXMLContainerType parent) {
  ImportLevel(builder, path, parent, FolderDepth(parent));
}

TFavoritesExportResult ExportFavorites(TXbelBuilder& builder, const fs::path& outputFolder,
                                       const TShowMessage& showMessage) {
  std::vector<TXMLBookmarkType> bookmarks;
  builder.CollectBookmarks(builder.Root(), bookmarks, CollectMode::All);
  TFavoritesExportResult result;
  for (TXMLBookmarkType bookmark : bookmarks) {
    if (WriteShortcutFile(bookmark, outputFolder, builder.RunLog, showMessage))
      ++result.Written;
    else
      ++result.Skipped;
    if (builder.Progress) builder.Progress->Advance();
  }
  return result;
}

}  // namespace tessellink
