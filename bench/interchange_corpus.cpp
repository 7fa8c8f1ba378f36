#include "interchange_corpus.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/atomic_file.h"

namespace tessellink::bench {

namespace fs = std::filesystem;

namespace {

// A fixed linear congruential generator: the same files on every machine, as
// long as no expression draws from it twice (argument order is unspecified).
struct Lcg {
  uint64_t state;
  explicit Lcg(uint64_t seed) : state(seed) {}
  uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
};

const char* const kWords[] = {
    "news",   "daily",   "guide",  "review",  "forum",  "recipes", "python", "linux",  "music",  "travel",
    "sports", "weather", "science", "history", "garden", "photo",  "video",  "market", "design", "library",
    "blog",   "archive", "project", "manual",  "café",   "Grüße",  "日本語", "résumé", "Küche",  "naïve",
    "Москва", "Ελλάδα",  "tutorial", "wiki",   "docs",   "shop",   "search", "maps",   "radio",  "kids"};
constexpr uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kTagWords[] = {"work",  "home",    "toread", "reference", "linux", "recipes", "café",
                                 "music", "日本語",  "travel", "dev",       "news",  "fun",     "Grüße",
                                 "photo", "science", "shop",   "kids",      "maps",  "later"};
constexpr uint32_t kTagWordCount = sizeof(kTagWords) / sizeof(kTagWords[0]);

const char* const kHosts[] = {"example.com", "example.org", "example.net", "wikipedia.org", "github.com",
                              "news.example.co.uk", "blog.example.de", "shop.example.fr", "example.jp"};
constexpr uint32_t kHostCount = sizeof(kHosts) / sizeof(kHosts[0]);

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string PercentEncoded(std::string_view s) {
  std::string out;
  char buf[4];
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

// Firefox's escaping of titles and descriptions in its HTML export.
void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

std::string Words(Lcg& rng, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i) s += ' ';
    s += kWords[rng.Below(kWordCount)];
  }
  return s;
}

std::string BookmarkTitle(Lcg& rng) {
  std::string title = Words(rng, 2 + static_cast<int>(rng.Below(4)));
  switch (rng.Below(12)) {
    case 0: title += " & more"; break;
    case 1: title = "\"" + title + "\""; break;
    case 2: title += " <beta>"; break;
    case 3: title += " – «" + std::string(kWords[rng.Below(kWordCount)]) + "»"; break;
    case 4: title += " - it's here"; break;
    default: break;
  }
  return title;
}

std::string FolderTitle(Lcg& rng, int folder) {
  std::string title = std::string(kWords[rng.Below(kWordCount)]) + " " + std::to_string(folder);
  if (rng.OneIn(10)) title += " & Co";
  return title;
}

// Distinct for every bookmark; about a third carry a query with "&".
std::string Address(Lcg& rng, int index) {
  const std::string_view word = kWords[rng.Below(kWordCount)];
  std::string url = rng.OneIn(5) ? "http://" : "https://";
  if (rng.OneIn(2)) url += "www.";
  url += kHosts[rng.Below(kHostCount)];
  url += '/';
  url += IsAscii(word) ? std::string(word) : PercentEncoded(word);
  url += "/page-" + std::to_string(index);
  if (rng.OneIn(3)) url += "?id=" + std::to_string(rng.Below(100000)) + "&lang=en";
  return url;
}

std::string HostOf(std::string_view url) {
  const std::size_t start = url.find("://") + 3;
  const std::size_t end = url.find('/', start);
  return std::string(url.substr(start, end - start));
}

// Seconds since 1970 between 2005 and 2024.
int64_t Moment(Lcg& rng) { return 1104537600 + rng.Below(600000000); }
int64_t MomentMicroseconds(Lcg& rng) {
  const int64_t seconds = Moment(rng);
  return seconds * 1000000 + rng.Below(1000000);
}

// Folder f (1..folders) hangs under parent[f] (0: the top level); bookmarks are
// spread at random over the top level and the folders.
struct FolderTree {
  std::vector<int> parent, depth, bookmarks;
  std::vector<std::vector<int>> children;
};

FolderTree MakeTree(const InterchangeShape& shape, Lcg& rng) {
  FolderTree t;
  const int n = shape.folders;
  t.parent.assign(n + 1, 0);
  t.depth.assign(n + 1, 0);
  t.bookmarks.assign(n + 1, 0);
  t.children.resize(n + 1);
  for (int f = 1; f <= n; ++f) {
    int p = f <= 3 ? 0 : static_cast<int>(rng.Below(static_cast<uint32_t>(f)));
    while (t.depth[p] >= shape.maxDepth) p = t.parent[p];
    t.parent[f] = p;
    t.depth[f] = t.depth[p] + 1;
    t.children[p].push_back(f);
  }
  for (int b = 0; b < shape.bookmarks; ++b) ++t.bookmarks[rng.Below(static_cast<uint32_t>(n + 1))];
  return t;
}

// Depth-first, without recursion; in each folder its subfolders come at random
// places among its bookmarks, as they do in a browser. `level` is 1 for the
// items of the top level; `folder` is the one holding the bookmark (0: top
// level). Bookmarks are numbered in file order.
template <typename Open, typename Close, typename Mark>
void WalkTree(const FolderTree& t, Lcg& rng, Open open, Close close, Mark mark) {
  struct Frame {
    int folder;
    std::size_t nextChild;
    int bookmarksLeft;
  };
  std::vector<Frame> stack{{0, 0, t.bookmarks[0]}};
  int made = 0;
  while (!stack.empty()) {
    Frame& top = stack.back();
    const int level = static_cast<int>(stack.size());
    const auto childrenLeft = static_cast<uint32_t>(t.children[top.folder].size() - top.nextChild);
    const auto total = childrenLeft + static_cast<uint32_t>(top.bookmarksLeft);
    if (total == 0) {
      if (top.folder != 0) close(top.folder, level - 1);
      stack.pop_back();
    } else if (rng.Below(total) < childrenLeft) {
      const int child = t.children[top.folder][top.nextChild++];
      open(child, level);
      stack.push_back({child, 0, t.bookmarks[child]});
    } else {
      --top.bookmarksLeft;
      mark(made++, level, top.folder);
    }
  }
}

std::string Tags(Lcg& rng) {
  std::string tags;
  const uint32_t count = 1 + rng.Below(4);
  for (uint32_t i = 0; i < count; ++i) {
    if (i) tags += ',';
    tags += kTagWords[rng.Below(kTagWordCount)];
  }
  return tags;
}

// A guid as Firefox writes them: 12 characters of base64url, unique through the id.
std::string Guid(Lcg& rng, int64_t id) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string guid;
  for (int i = 0; i < 6; ++i) guid += kAlphabet[rng.Below(64)];
  for (int i = 0; i < 6; ++i, id >>= 6) guid += kAlphabet[id & 63];
  return guid;
}

class Database {
 public:
  explicit Database(const fs::path& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("open");
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3* Handle() const { return db_; }
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("places corpus: " + what + ": " + (db_ ? sqlite3_errmsg(db_) : "no database"));
  }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK) db.Fail(sql);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& Int(int column, int64_t value) {
    sqlite3_bind_int64(stmt_, column, value);
    return *this;
  }
  Statement& Text(int column, const std::string& value) {
    sqlite3_bind_text(stmt_, column, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Null(int column) {
    sqlite3_bind_null(stmt_, column);
    return *this;
  }
  void Run() {
    if (sqlite3_step(stmt_) != SQLITE_DONE) db_.Fail("insert");
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Firefox's own statements for the two tables and their indexes.
constexpr const char* kPlacesSchema = R"sql(
PRAGMA page_size=32768;
CREATE TABLE moz_origins ( id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL, frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, block_until_ms INTEGER, block_pages_until_ms INTEGER, UNIQUE (prefix, host) );
CREATE TABLE moz_places (   id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER , guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL , description TEXT, preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id), recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_bookmarks (  id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER, lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);
CREATE INDEX moz_places_hostindex ON moz_places (rev_host);
CREATE INDEX moz_places_visitcount ON moz_places (visit_count);
CREATE INDEX moz_places_frecencyindex ON moz_places (frecency);
CREATE INDEX moz_places_lastvisitdateindex ON moz_places (last_visit_date);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
CREATE INDEX moz_places_originidindex ON moz_places (origin_id);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE INDEX moz_bookmarks_itemlastmodifiedindex ON moz_bookmarks (fk, lastModified);
CREATE INDEX moz_bookmarks_dateaddedindex ON moz_bookmarks (dateAdded);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
)sql";

uint64_t Fnv(std::string_view s) {
  uint64_t h = 14695981039346656037ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

}  // namespace

std::string MakeBookmarkHtml(const InterchangeShape& shape) {
  Lcg rng(0x9E3779B97F4A7C15ULL);
  const FolderTree tree = MakeTree(shape, rng);
  std::string out =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
      "<!-- This is an automatically generated file.\n"
      "     It will be read and overwritten.\n"
      "     DO NOT EDIT! -->\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\"\n"
      "      content=\"default-src 'self'; script-src 'none'; img-src data: *; object-src 'none'\"></meta>\n"
      "<TITLE>Bookmarks</TITLE>\n"
      "<H1>Bookmarks Menu</H1>\n\n"
      "<DL><p>\n";
  out.reserve(static_cast<std::size_t>(shape.bookmarks) * 200);
  auto indent = [&out](int level) { out.append(static_cast<std::size_t>(level) * 4, ' '); };
  auto open = [&](int folder, int level) {
    const int64_t added = Moment(rng);
    indent(level);
    out += "<DT><H3 ADD_DATE=\"" + std::to_string(added) + "\" LAST_MODIFIED=\"" +
           std::to_string(added + rng.Below(100000000)) + "\"";
    std::string title = FolderTitle(rng, folder);
    if (folder == 1) {
      out += " PERSONAL_TOOLBAR_FOLDER=\"true\"";
      title = "Bookmarks Toolbar";
    } else if (folder == 2) {
      out += " UNFILED_BOOKMARKS_FOLDER=\"true\"";
      title = "Other Bookmarks";
    }
    out += '>';
    AppendHtmlEscaped(out, title);
    out += "</H3>\n";
    indent(level);
    out += "<DL><p>\n";
  };
  auto close = [&](int, int level) {
    indent(level);
    out += "</DL><p>\n";
  };
  auto mark = [&](int index, int level, int) {
    const int64_t added = Moment(rng);
    indent(level);
    out += "<DT><A HREF=\"";
    AppendHtmlEscaped(out, Address(rng, index));
    out += "\" ADD_DATE=\"" + std::to_string(added) + "\" LAST_MODIFIED=\"" +
           std::to_string(rng.OneIn(3) ? added : added + rng.Below(50000000)) + "\"";
    if (rng.OneIn(200)) out += " SHORTCUTURL=\"kw" + std::to_string(index) + "\"";
    if (rng.OneIn(10)) {
      out += " TAGS=\"";
      AppendHtmlEscaped(out, Tags(rng));
      out += '"';
    }
    out += '>';
    AppendHtmlEscaped(out, BookmarkTitle(rng));
    out += "</A>\n";
    if (rng.OneIn(20)) {
      indent(level);
      out += "<DD>";
      std::string note = Words(rng, 4 + static_cast<int>(rng.Below(12)));
      if (rng.OneIn(4)) note += " & notes";
      AppendHtmlEscaped(out, note);
      out += '\n';
    }
  };
  WalkTree(tree, rng, open, close, mark);
  out += "</DL>\n";
  return out;
}

std::string MakeOperaHotlist(const InterchangeShape& shape) {
  Lcg rng(0xD1B54A32D192ED03ULL);
  const FolderTree tree = MakeTree(shape, rng);
  std::string out = "Opera Hotlist version 2.0\r\nOptions: encoding = utf8, version=3\r\n\r\n";
  out.reserve(static_cast<std::size_t>(shape.bookmarks) * 230);
  int id = 11;
  auto key = [&out](const char* name, const std::string& value) {
    out += '\t';
    out += name;
    out += '=';
    out += value;
    out += "\r\n";
  };
  auto uniqueId = [&rng, &key] {
    std::string id;
    char buf[12];
    for (int i = 0; i < 4; ++i) {
      std::snprintf(buf, sizeof buf, "%08X", rng.Next());
      id += buf;
    }
    key("UNIQUEID", id);
  };
  auto open = [&](int folder, int) {
    out += "#FOLDER\r\n";
    key("ID", std::to_string(id++));
    key("NAME", FolderTitle(rng, folder));
    key("CREATED", std::to_string(Moment(rng)));
    if (rng.OneIn(3)) key("EXPANDED", "YES");
    uniqueId();
    out += "\r\n";
  };
  auto close = [&](int, int) { out += "-\r\n\r\n"; };
  auto mark = [&](int index, int, int) {
    out += "#URL\r\n";
    key("ID", std::to_string(id++));
    key("NAME", BookmarkTitle(rng));
    key("URL", Address(rng, index));
    const int64_t created = Moment(rng);
    key("CREATED", std::to_string(created));
    if (rng.OneIn(2)) key("VISITED", std::to_string(created + rng.Below(50000000)));
    if (rng.OneIn(20)) {
      std::string desc = Words(rng, 3 + static_cast<int>(rng.Below(6)));
      desc += "\x02";
      desc += Words(rng, 4);
      key("DESCRIPTION", desc);
    }
    uniqueId();
    out += "\r\n";
  };
  WalkTree(tree, rng, open, close, mark);
  return out;
}

void WritePlacesDatabase(const fs::path& file, const InterchangeShape& shape) {
  Lcg rng(0xA0761D6478BD642FULL);
  const FolderTree tree = MakeTree(shape, rng);
  // Built beside the file and renamed over it once complete and closed.
  fs::path part = file;
  part += ".part";
  fs::remove(part);
  fs::remove(fs::path(part) += "-journal");
  {
    Database db(part);
    db.Exec(kPlacesSchema);
    db.Exec("BEGIN");
    Statement place(db,
                    "INSERT INTO moz_places(id,url,title,rev_host,visit_count,hidden,typed,frecency,last_visit_date,"
                    "guid,foreign_count,url_hash) VALUES(?1,?2,?3,?4,?5,0,?6,?7,?8,?9,?10,?11)");
    Statement item(db,
                   "INSERT INTO moz_bookmarks(id,type,fk,parent,position,title,dateAdded,lastModified,guid,"
                   "syncStatus,syncChangeCounter) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,1,0)");
    int64_t nextId = 1;
    std::vector<int> positions;  // next position by parent id
    auto add = [&](int type, int64_t fk, int64_t parent, const char* title, int64_t added, int64_t modified) {
      const int64_t id = nextId++;
      if (positions.size() <= static_cast<std::size_t>(id)) positions.resize(static_cast<std::size_t>(id) * 2, 0);
      item.Int(1, id).Int(2, type);
      if (fk)
        item.Int(3, fk);
      else
        item.Null(3);
      item.Int(4, parent).Int(5, parent ? positions[static_cast<std::size_t>(parent)]++ : 0);
      if (title)
        item.Text(6, title);
      else
        item.Null(6);
      item.Int(7, added).Int(8, modified).Text(9, Guid(rng, id)).Run();
      return id;
    };
    // Firefox's root (its title empty) and the five folders it makes under it.
    const int64_t profileMade = 1104537600LL * 1000000;
    add(2, 0, 0, "", profileMade, profileMade);
    const int64_t menu = add(2, 0, 1, "menu", profileMade, profileMade);
    const int64_t toolbar = add(2, 0, 1, "toolbar", profileMade, profileMade);
    const int64_t tagsRoot = add(2, 0, 1, "tags", profileMade, profileMade);
    const int64_t unfiled = add(2, 0, 1, "unfiled", profileMade, profileMade);
    add(2, 0, 1, "mobile", profileMade, profileMade);
    std::vector<int64_t> tagFolders;
    for (uint32_t i = 0; i < kTagWordCount; ++i)
      tagFolders.push_back(add(2, 0, tagsRoot, kTagWords[i], profileMade, profileMade));

    std::vector<int64_t> folderId(static_cast<std::size_t>(shape.folders) + 1, menu);
    int64_t nextPlace = 1;
    auto open = [&](int folder, int) {
      int64_t parent = folderId[static_cast<std::size_t>(tree.parent[folder])];
      if (tree.parent[folder] == 0) {
        const uint32_t pick = rng.Below(4);
        parent = pick == 0 ? toolbar : pick == 1 ? unfiled : menu;
      }
      const int64_t added = MomentMicroseconds(rng);
      const std::string title = FolderTitle(rng, folder);
      const int64_t modified = added + rng.Below(1000000000);
      folderId[static_cast<std::size_t>(folder)] = add(2, 0, parent, title.c_str(), added, modified);
    };
    auto close = [](int, int) {};
    auto mark = [&](int index, int, int folder) {
      const int64_t parent = folderId[static_cast<std::size_t>(folder)];
      const std::string url = Address(rng, index);
      const std::string title = BookmarkTitle(rng);
      std::string revHost = HostOf(url);
      std::reverse(revHost.begin(), revHost.end());
      revHost += '.';
      const int64_t added = MomentMicroseconds(rng);
      const bool visited = rng.OneIn(2);
      const uint32_t visits = visited ? 1 + rng.Below(200) : 0;
      const bool tagged = rng.OneIn(10);
      const uint32_t tagCount = tagged ? 1 + rng.Below(3) : 0;
      const int64_t placeId = nextPlace++;
      place.Int(1, placeId).Text(2, url).Text(3, title).Text(4, revHost).Int(5, visits).Int(6, visited && rng.OneIn(4));
      place.Int(7, visited ? 100 + rng.Below(5000) : 100);
      if (visited)
        place.Int(8, added + rng.Below(1000000000) * 1000LL);
      else
        place.Null(8);
      place.Text(9, Guid(rng, placeId)).Int(10, 1 + tagCount).Int(11, static_cast<int64_t>(Fnv(url) >> 16)).Run();
      add(1, placeId, parent, title.c_str(), added, added + (rng.OneIn(3) ? 0 : rng.Below(1000000000)));
      // Tags are untitled rows under the tag folders, pointing at the same place.
      for (uint32_t t = 0; t < tagCount; ++t)
        add(1, placeId, tagFolders[rng.Below(kTagWordCount)], nullptr, added, added);
      if (rng.OneIn(400)) add(3, 0, parent, nullptr, added, added);
    };
    WalkTree(tree, rng, open, close, mark);
    db.Exec("COMMIT");
  }
  fs::rename(part, file);
}

void WriteInterchangeCorpus(const fs::path& folder, const InterchangeShape& shape) {
  fs::create_directories(folder);
  WriteFileAtomically(folder / kHtmlCorpusName, MakeBookmarkHtml(shape));
  WriteFileAtomically(folder / kOperaCorpusName, MakeOperaHotlist(shape));
  WritePlacesDatabase(folder / kPlacesCorpusName, shape);
}

const fs::path& InterchangeFolder() {
  static const fs::path folder = [] {
    const fs::path path = fs::temp_directory_path() / ("tessellink-interchange-" + std::to_string(getpid()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

const fs::path& HtmlCorpusFile() {
  static const fs::path file = [] {
    const fs::path path = InterchangeFolder() / kHtmlCorpusName;
    WriteFileAtomically(path, MakeBookmarkHtml());
    return path;
  }();
  return file;
}

const fs::path& OperaCorpusFile() {
  static const fs::path file = [] {
    const fs::path path = InterchangeFolder() / kOperaCorpusName;
    WriteFileAtomically(path, MakeOperaHotlist());
    return path;
  }();
  return file;
}

const fs::path& PlacesCorpusFile() {
  static const fs::path file = [] {
    const fs::path path = InterchangeFolder() / kPlacesCorpusName;
    WritePlacesDatabase(path);
    return path;
  }();
  return file;
}

void RemoveInterchangeFolder() {
  std::error_code ignored;
  fs::remove_all(InterchangeFolder(), ignored);
}

}  // namespace tessellink::bench
