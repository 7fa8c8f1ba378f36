#include "interchange/opera_hotlist.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/favorites.h"
#include "interchange/interchange_dates.h"
#include "interchange/interchange_log.h"

namespace tessellink {
namespace {

// Folders nest at most this deep; a deeper one starts again at the top level,
// so that the saved document stays within what the loader accepts.
constexpr std::size_t kMaxFolderDepth = kMaxXbelDepth - 16;
// A longer line could grow past the loader's limit for one text once escaped
// (a quote becomes six characters), so it is refused instead.
constexpr std::size_t kMaxLineBytes = kMaxXbelTextBytes / 6;
// How much of a refused long line the log shows.
constexpr std::size_t kLoggedLineBytes = 200;

// The first tab goes (the indent Opera writes before every key), then blanks
// and control characters at both ends.
std::string PrepareLine(std::string_view raw) {
  std::string line(raw);
  if (const std::size_t tab = line.find('\t'); tab != std::string::npos) line.erase(tab, 1);
  return std::string(Trim(line));
}

// Whole seconds since 1970 as a date text; empty stays empty.
std::string ConvertDate(std::string_view value) {
  if (value.empty()) return {};
  const std::optional<int32_t> seconds = ParseInteger(value);
  if (!seconds) throw AppError("not a number of seconds");
  return UnixSecondsToDateText(*seconds);
}

std::string ShortenedForLog(std::string_view line) {
  if (line.size() <= kLoggedLineBytes) return std::string(line);
  std::size_t cut = kLoggedLineBytes;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;  // keep whole characters
  return std::string(line.substr(0, cut)) + "...";
}

// A line break inside a NAME or URL value would end the line early and the
// rest would be read back as a key line of its own.
std::string OneLine(std::string_view value) {
  std::string text = ReplaceAll(value, "\r\n", " ");
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// Opera keeps a description on one line with code 2 standing for each line
// break; the import turns each back into CR LF.
std::string OperaDescription(std::string_view desc) {
  std::string text = ReplaceAll(desc, "\r\n", "\x02");
  std::replace(text.begin(), text.end(), '\r', '\x02');
  std::replace(text.begin(), text.end(), '\n', '\x02');
  return text;
}

struct TContainerEntry {
  TXMLContainerType container;
  std::size_t depth;  // 0 for the root
};

}  // namespace

TOperaToXbel::TOperaToXbel() : document_(std::make_unique<TXbelDocument>()) {}
TOperaToXbel::~TOperaToXbel() = default;

void TOperaToXbel::LoadHotlist(const std::filesystem::path& path) {
  const std::string bytes = ReadFileBytes(path);
  document_ = std::make_unique<TXbelDocument>();
  if (!IsValidUtf8(bytes)) {
    if (progress_) progress_->SetTotal(0);
    LogFormatted(log_, "opera import error, %s is not valid UTF-8; nothing imported",
                 RepairUtf8(path.string()).c_str());
    return;
  }
  ApplyLines(bytes);
}

void TOperaToXbel::ApplyLines(std::string_view text) {
  const std::vector<std::string> lines = SplitLines(text);
  if (progress_) progress_->SetTotal(static_cast<int64_t>(lines.size()));

  const TXMLXbelType root = Root();
  std::vector<TContainerEntry> stack{{root, 0}};
  TXMLFolderType folder;
  TXMLBookmarkType bookmark;
  bool folderBlock = false;

  for (const std::string& raw : lines) {
    if (progress_) progress_->Advance();
    std::string line;
    try {
      line = PrepareLine(raw);
      if (line.size() > kMaxLineBytes) throw AppError("line too long");
      const std::size_t equals = line.find('=');
      const std::string_view key =
          equals == std::string::npos ? std::string_view() : std::string_view(line).substr(0, equals);
      const std::string_view value =
          equals == std::string::npos ? std::string_view() : std::string_view(line).substr(equals + 1);

      if (SameText(line, "#FOLDER")) {
        if (stack.empty()) throw AppError("no open folder");
        TContainerEntry parent = stack.back();
        if (parent.depth >= kMaxFolderDepth) parent = {root, 0};
        folder = TXbelBuilder::AppendFolder(parent.container);
        stack.push_back({folder, parent.depth + 1});
        folderBlock = true;
      } else if (SameText(line, "#URL")) {
        if (stack.empty()) throw AppError("no open folder");
        bookmark = TXbelBuilder::AppendBookmark(stack.back().container);
        folderBlock = false;
      } else if (!key.empty() && SameText(key, "NAME")) {
        if (folderBlock) {
          folder.SetTitle(value);
        } else {
          if (!bookmark) throw AppError("no bookmark");
          bookmark.SetTitle(value);
        }
      } else if (!key.empty() && SameText(key, "URL")) {
        if (!bookmark) throw AppError("no bookmark");
        bookmark.SetHref(value);
      } else if (!key.empty() && SameText(key, "DESCRIPTION")) {
        const std::string desc = ReplaceAll(value, "\x02", "\r\n");
        if (folderBlock) {
          folder.SetDesc(desc);
        } else if (bookmark) {
          bookmark.SetDesc(desc);
        }
      } else if (!key.empty() && SameText(key, "CREATED")) {
        if (folderBlock) {
          folder.SetAdded(ConvertDate(value));
        } else {
          if (!bookmark) throw AppError("no bookmark");
          bookmark.SetAdded(value);  // stays as written when it is no number
          const std::string date = ConvertDate(value);
          bookmark.SetAdded(date);
          bookmark.SetModified(date);
        }
      } else if (!key.empty() && SameText(key, "VISITED")) {
        if (!bookmark) throw AppError("no bookmark");
        bookmark.SetVisited(ConvertDate(value));
      } else if (line == "-") {
        if (!stack.empty()) stack.pop_back();
      }
    } catch (const AppError&) {
      LogFormatted(log_, "opera import error, %s", ShortenedForLog(line).c_str());
    }
  }
}

void TOperaToXbel::SaveResult(const std::filesystem::path& path) const {
  document_->Save(path, XbelSaveMode::Ordinary);
}

std::string OperaHotlistText(TXbelBuilder& builder) {
  std::string out;
  auto line = [&out](std::string_view a, std::string_view b = {}) {
    out.append(a);
    out.append(b);
    out.append("\r\n");
  };
  auto created = [&line](std::string_view added) {
    if (added.empty()) return;
    if (const std::optional<uint32_t> seconds = DateTextToSeconds(added))
      line("CREATED=", std::to_string(*seconds));
  };

  line("Opera Hotlist version 2.0");
  line("Options: encoding = utf8, version=3");
  line("");

  struct RemoveHandlers {
    TXbelBuilder& builder;
    ~RemoveHandlers() {
      builder.OnBookmark = nullptr;
      builder.OnFolderEntered = nullptr;
      builder.OnFolderLeft = nullptr;
    }
  } removeHandlers{builder};

  int counter = 1;
  builder.OnFolderEntered = [&](TXMLFolderType folder, void*&) {
    line("#FOLDER");
    line("ID=", std::to_string(counter));
    line("NAME=", OneLine(folder.Title()));
    created(folder.Added());
    line("");
    ++counter;
  };
  builder.OnBookmark = [&](TXMLBookmarkType bookmark, void*&) {
    line("#URL");
    line("ID=", std::to_string(counter));
    line("NAME=", OneLine(bookmark.Title()));
    line("URL=", OneLine(bookmark.Href()));
    if (!bookmark.Desc().empty()) line("DESCRIPTION=", OperaDescription(bookmark.Desc()));
    created(bookmark.Added());
    line("");
    ++counter;
    if (builder.Progress) builder.Progress->Advance();
  };
  builder.OnFolderLeft = [&](TXMLFolderType, void*&) {
    line("-");
    line("");
  };
  void* context = nullptr;
  builder.Walk(builder.Root(), context);
  return out;
}

void ExportOperaHotlist(TXbelBuilder& builder, const std::filesystem::path& path) {
  WriteFileAtomically(path, OperaHotlistText(builder));
}

std::filesystem::path FindOperaHotlistFile(const std::filesystem::path& home) {
  const std::filesystem::path base = home / ".opera";
  std::error_code error;
  if (!std::filesystem::is_directory(base, error)) return {};
  std::vector<std::filesystem::path> found;
  FindFilesRecursive(found, base, "opera6.adr");
  return found.empty() ? std::filesystem::path() : found.front();
}

void ImportOperaViaTempFile(TXbelBuilder& builder, std::string_view hotlistPath,
                            const std::filesystem::path& dataFolder, IProgress* progress, TRunLog* log) {
  std::string file(hotlistPath);
  file.erase(std::remove(file.begin(), file.end(), '"'), file.end());
  TOperaToXbel converter;
  converter.SetProgress(progress);
  converter.SetLog(log);
  converter.LoadHotlist(file);
  const std::filesystem::path temp = dataFolder / "temp.xbel";
  converter.SaveResult(temp);
  builder.LoadDocument(temp);
}

}  // namespace tessellink
