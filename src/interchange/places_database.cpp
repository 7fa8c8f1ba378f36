#include "interchange/places_database.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <numeric>
#include <unordered_map>

#include "common/atomic_file.h"
#include "common/text.h"
#include "interchange/favorites.h"
#include "interchange/interchange_dates.h"
#include "interchange/interchange_log.h"
#include "store/xbel_builder.h"

namespace tessellink {
namespace {

// Folders nest at most this deep; a deeper one starts again at the top level,
// so that the saved document stays within what the loader accepts.
constexpr std::size_t kMaxFolderDepth = kMaxXbelDepth - 16;
// Longer texts could grow past the loader's limit for one text once escaped (a
// quote becomes six characters). Firefox itself keeps far shorter ones.
constexpr std::size_t kMaxTextBytes = kMaxXbelTextBytes / 6;

std::string PathText(const std::filesystem::path& path) { return RepairUtf8(path.string()); }

// The few SQLite calls the conversion needs. The database is opened read-only:
// nothing is ever written to it.
class TSqliteDatabase {
 public:
  explicit TSqliteDatabase(const std::filesystem::path& path) : path_(path) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw FileReadError("Cannot open the Firefox bookmark database \"" + PathText(path) + "\": " + message);
    }
    // Functions named in the file's own schema (views, defaults) are not run.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  }
  ~TSqliteDatabase() { sqlite3_close(db_); }
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  sqlite3* Handle() const { return db_; }

  [[noreturn]] void Fail(const char* sql) const {
    throw FileReadError("Cannot read the Firefox bookmark database \"" + PathText(path_) + "\": " +
                        sqlite3_errmsg(db_) + " (statement \"" + sql + "\")");
  }

 private:
  std::filesystem::path path_;
  sqlite3* db_ = nullptr;
};

class TSqliteStatement {
 public:
  TSqliteStatement(const TSqliteDatabase& db, const char* sql) : db_(db), sql_(sql) {
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &statement_, nullptr) != SQLITE_OK) db.Fail(sql);
  }
  ~TSqliteStatement() { sqlite3_finalize(statement_); }
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  // True while a row is ready; false when the statement is done.
  bool Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Fail(sql_);
  }
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  // Null reads as empty text, and as 0.
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    if (!text) return {};
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
  }
  int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }

 private:
  const TSqliteDatabase& db_;
  const char* sql_;
  sqlite3_stmt* statement_ = nullptr;
};

// Valid UTF-8 of at most kMaxTextBytes, cut at a character boundary.
std::string DocumentText(std::string_view bytes) {
  std::string text = RepairUtf8(bytes);
  if (text.size() > kMaxTextBytes) {
    std::size_t cut = kMaxTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

// Microseconds since 1970 as a date text, the fraction of a second dropped.
std::optional<std::string> PlacesDateText(int64_t microseconds) {
  try {
    return UnixSecondsToDateText(microseconds / 1000000);
  } catch (const AppError&) {
    return std::nullopt;
  }
}

// Parent links are applied in record order, each one skipped when it would put
// a folder inside its own subtree. A folder is still at the top level when its
// own link comes up, so the link closes a loop exactly when the folder is the
// top of the parent's tree. Sets with their current top answer that at once.
class TFolderForest {
 public:
  explicit TFolderForest(std::size_t count) : set_(count), size_(count, 1), top_(count) {
    std::iota(set_.begin(), set_.end(), std::size_t{0});
    std::iota(top_.begin(), top_.end(), std::size_t{0});
  }
  // Hangs `child` (a top-level folder) under `parent` unless that makes a loop.
  bool Link(std::size_t child, std::size_t parent) {
    const std::size_t parentSet = Find(parent);
    if (top_[parentSet] == child) return false;
    const std::size_t childSet = Find(child);
    const std::size_t newTop = top_[parentSet];
    const auto [big, small] = size_[childSet] >= size_[parentSet] ? std::pair(childSet, parentSet)
                                                                  : std::pair(parentSet, childSet);
    set_[small] = big;
    size_[big] += size_[small];
    top_[big] = newTop;
    return true;
  }

 private:
  std::size_t Find(std::size_t item) {
    std::size_t root = item;
    while (set_[root] != root) root = set_[root];
    while (set_[item] != root) item = std::exchange(set_[item], root);
    return root;
  }
  std::vector<std::size_t> set_, size_, top_;
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

void CopyOneFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw FileReadError("Cannot read \"" + PathText(from) + "\": " + std::strerror(errno));
  TAtomicFileWriter out(to);
  std::string buffer(1 << 20, '\0');
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.bad()) throw FileReadError("Cannot read \"" + PathText(from) + "\": " + std::strerror(errno));
    out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  out.Commit();
}

std::filesystem::path WithSuffix(const std::filesystem::path& path, const char* suffix) {
  std::filesystem::path result = path;
  result += suffix;
  return result;
}

}  // namespace

struct TFF3Converter::Impl {
  std::unordered_map<std::string, std::size_t> folderIndex;  // id -> first folder record with it
};

TFF3Converter::TFF3Converter() : document_(std::make_unique<TXbelDocument>()), impl_(std::make_unique<Impl>()) {}
TFF3Converter::~TFF3Converter() = default;

void TFF3Converter::Reset() {
  document_ = std::make_unique<TXbelDocument>();
  folders_.clear();
  bookmarks_.clear();
  impl_->folderIndex.clear();
}

std::unique_ptr<TXbelDocument> TFF3Converter::TakeDocument() {
  std::unique_ptr<TXbelDocument> taken = std::move(document_);
  Reset();
  return taken;
}

TXMLFolderType TFF3Converter::FindFolderRecord(std::string_view parentId) const {
  const auto it = impl_->folderIndex.find(std::string(parentId));
  return it == impl_->folderIndex.end() ? TXMLFolderType() : folders_[it->second].folder;
}

TXMLXbelType TFF3Converter::Convert(const std::filesystem::path& path) {
  Reset();
  try {
    return Read(path);
  } catch (...) {
    Reset();  // nothing half read stays behind
    throw;
  }
}

TXMLXbelType TFF3Converter::Read(const std::filesystem::path& path) {
  TSqliteDatabase db(path);

  std::vector<std::string> folderTitles;
  {
    TSqliteStatement folders(db, kPlacesFolderQuery);
    while (folders.Step()) {
      folders_.push_back({folders.Text(0), folders.Text(1), {}, {}});
      folderTitles.push_back(DocumentText(folders.Text(2)));
    }
  }
  {
    TSqliteStatement count(db, kPlacesCountQuery);
    const int64_t total = count.Step() ? count.Integer(0) : 0;
    if (progress_) progress_->SetTotal(total);
  }
  struct BookmarkRow {
    std::string id, parent, title, href;
    int64_t added, modified;
    std::string visits;
  };
  std::vector<BookmarkRow> rows;
  {
    TSqliteStatement bookmarks(db, kPlacesBookmarkQuery);
    while (bookmarks.Step()) {
      if (progress_) progress_->Advance();
      BookmarkRow row{bookmarks.Text(0), bookmarks.Text(2), DocumentText(bookmarks.Text(3)),
                      RepairUtf8(bookmarks.Text(4)), bookmarks.Integer(5), bookmarks.Integer(6),
                      bookmarks.IsNull(7) ? std::string() : std::to_string(bookmarks.Integer(7))};
      if (row.href.size() > kMaxTextBytes) {
        LogFormatted(log_, "places import error, bookmark %s left out: its address is longer than %zu bytes",
                     RepairUtf8(row.id).c_str(), kMaxTextBytes);
        continue;
      }
      rows.push_back(std::move(row));
    }
  }

  // The folder hierarchy: the first record of an id is the one children find.
  for (std::size_t i = 0; i < folders_.size(); ++i) impl_->folderIndex.emplace(folders_[i].id, i);
  TFolderForest forest(folders_.size());
  std::vector<std::vector<std::size_t>> children(folders_.size());
  std::vector<std::size_t> topLevel;
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    std::size_t parent = kNone;
    if (!folders_[i].parent.empty()) {
      const auto it = impl_->folderIndex.find(folders_[i].parent);
      if (it != impl_->folderIndex.end() && forest.Link(i, it->second)) parent = it->second;
    }
    (parent == kNone ? topLevel : children[parent]).push_back(i);
  }

  // Elements are made where they end up, parents before children; in every
  // folder its subfolders come first, in record order, then its bookmarks.
  const TXMLXbelType root = document_->Root();
  struct Pending {
    std::size_t record;
    std::size_t depth;
  };
  std::vector<Pending> queue;
  queue.reserve(folders_.size());
  auto make = [&](TXMLContainerType parent, std::size_t record, std::size_t depth) {
    TXMLFolderType folder = TXbelBuilder::AppendFolder(parent);
    folder.SetTitle(folderTitles[record]);
    folders_[record].folder = folder;
    queue.push_back({record, depth});
  };
  for (std::size_t record : topLevel) make(root, record, 1);
  for (std::size_t next = 0; next < queue.size(); ++next) {
    const Pending item = queue[next];
    for (std::size_t child : children[item.record]) {
      if (item.depth >= kMaxFolderDepth)
        make(root, child, 1);
      else
        make(folders_[item.record].folder, child, item.depth + 1);
    }
  }

  bookmarks_.reserve(rows.size());
  for (BookmarkRow& row : rows) {
    TXMLFolderType folder = row.parent.empty() ? TXMLFolderType() : FindFolderRecord(row.parent);
    TXMLBookmarkType bookmark =
        TXbelBuilder::AppendBookmark(folder ? TXMLContainerType(folder) : TXMLContainerType(root));
    bookmark.SetTitle(row.title);
    bookmark.SetHref(row.href);
    const std::optional<std::string> added = PlacesDateText(row.added);
    const std::optional<std::string> modified = PlacesDateText(row.modified);
    if (added) bookmark.SetAdded(*added);
    if (modified) bookmark.SetModified(*modified);
    if (!added || !modified)
      LogFormatted(log_, "places import error, bookmark %s: a date lies outside the years 1 to 9999",
                   RepairUtf8(row.id).c_str());
    TXMLMetadataType visits = bookmark.EnsureInfo().Add();
    visits.SetOwner(VisitCountOwner);
    visits.SetValue(row.visits);
    bookmarks_.push_back({std::move(row.id), std::move(row.parent), {}, bookmark});
  }
  return root;
}

std::filesystem::path FindPlacesFile(const std::filesystem::path& home) {
  static constexpr const char* kProfileRoots[] = {
      ".mozilla/firefox",
      "snap/firefox/common/.mozilla/firefox",
      ".var/app/org.mozilla.firefox/.mozilla/firefox",
  };
  for (const char* relative : kProfileRoots) {
    const std::filesystem::path base = home / relative;
    std::error_code error;
    if (!std::filesystem::is_directory(base, error)) continue;
    std::vector<std::filesystem::path> found;
    FindFilesRecursive(found, base, "places.sqlite");
    if (!found.empty()) return found.front();
  }
  return {};
}

std::filesystem::path CopyPlacesDatabase(const std::filesystem::path& source, const std::filesystem::path& dataFolder) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(source, error))
    throw PlacesCopyError("Selected bookmark file does not exist.", "\"" + PathText(source) + "\" is no file");
  const std::filesystem::path target = dataFolder / "ff3.sqlite";
  if (std::filesystem::equivalent(source, target, error)) return target;  // already the copy
  try {
    // The -wal of an earlier copy would be played into the new one.
    for (const char* suffix : {"-wal", "-shm"}) {
      const std::filesystem::path stale = WithSuffix(target, suffix);
      if (!std::filesystem::remove(stale, error) && error)
        throw FileWriteError("Cannot remove \"" + PathText(stale) + "\": " + error.message());
    }
    CopyOneFile(source, target);
    for (const char* suffix : {"-wal", "-shm"}) {
      const std::filesystem::path companion = WithSuffix(source, suffix);
      if (std::filesystem::is_regular_file(companion, error)) CopyOneFile(companion, WithSuffix(target, suffix));
    }
  } catch (const AppError& e) {
    throw PlacesCopyError("Copy file failed.", e.what());
  }
  return target;
}

}  // namespace tessellink
