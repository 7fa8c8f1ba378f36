#include "platform/linux/linux_environment.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "app/data_folder.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "platform/linux/desktop_file.h"

extern char** environ;

#ifndef TESSELLINK_VERSION
#define TESSELLINK_VERSION ""
#endif

namespace tessellink {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDesktopGroup = "Desktop Entry";
constexpr const char* kDefaultsGroup = "Default Applications";
constexpr const char* kDesktopFileName = "tessellink.desktop";
constexpr const char* kDefaultContentType = "application/x-xbel";
constexpr const char* kUrlContentType = "x-scheme-handler/tslink";

std::vector<fs::path> AbsoluteList(const std::optional<std::string>& value, std::vector<fs::path> fallback) {
  std::vector<fs::path> list;
  if (value) {
    std::size_t pos = 0;
    while (pos <= value->size()) {
      std::size_t end = value->find(':', pos);
      if (end == std::string::npos) end = value->size();
      const std::string item = value->substr(pos, end - pos);
      if (!item.empty() && item.front() == '/') list.emplace_back(item);
      pos = end + 1;
    }
  }
  return list.empty() ? fallback : list;
}

fs::path BaseFolder(const std::optional<std::string>& value, const fs::path& home, const char* relative) {
  if (value && !value->empty() && value->front() == '/') return *value;
  return home.empty() ? fs::path() : home / relative;
}

// Reads a key file; a missing file is an empty one. Throws when the file exists
// but cannot be read, so that it is never replaced by a blank copy.
TKeyFile LoadKeyFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return TKeyFile();
  return TKeyFile(ReadFileBytes(path));
}

std::optional<std::string> ReadKey(const fs::path& path, const char* group, const std::string& key) {
  try {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    return TKeyFile(ReadFileBytes(path)).Get(group, key);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void AddUnique(std::vector<std::string>& items, const std::string& item) {
  for (const std::string& existing : items)
    if (existing == item) return;
  items.push_back(item);
}

bool Lists(const std::vector<std::string>& items, const std::string& item) {
  for (const std::string& existing : items)
    if (existing == item) return true;
  return false;
}

// A media type as "type/subtype" in the characters RFC 6838 allows.
bool IsContentTypeName(std::string_view name) {
  const std::size_t slash = name.find('/');
  if (slash == 0 || slash == std::string_view::npos || slash + 1 == name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (i == slash) continue;
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    std::string_view("!#$&-^_.+").find(c) != std::string_view::npos;
    if (!ok) return false;
  }
  return true;
}

// "*.xbel" from ".xbel" or "xbel"; empty when the extension cannot be a glob.
std::string ExtensionGlob(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty()) return {};
  for (const char c : extension)
    if (c == '/' || c == '*' || c == '?' || c == '[' || static_cast<unsigned char>(c) < ' ') return {};
  return "*." + std::string(extension);
}

// The Exec line that opens files, or links too once the entry handles
// "tslink:": a file-name field code (%f) cannot carry a link, while a link
// field code (%u) carries both.
std::string ExecLine(const std::string& programToken, const std::vector<std::string>& contentTypes) {
  return programToken + (Lists(contentTypes, kUrlContentType) ? " %u" : " %f");
}

// Keeps the program and its arguments, turning file-name field codes into link ones.
std::string ExecForLinks(std::string_view exec) {
  std::string line;
  bool hasFieldCode = false;
  for (const std::string& token : ExecTokens(exec)) {
    std::string out;
    if (token == "%f" || token == "%u") {
      out = "%u";
      hasFieldCode = true;
    } else if (token == "%F" || token == "%U") {
      out = "%U";
      hasFieldCode = true;
    } else {
      out = QuoteExecToken(token);
    }
    if (!line.empty()) line += ' ';
    line += out;
  }
  if (!hasFieldCode) line += " %u";
  return line;
}

std::string MimePackageText(const std::string& contentType, const std::string& glob, const std::string& description) {
  pugi::xml_document doc;
  pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node info = doc.append_child("mime-info");
  info.append_attribute("xmlns") = "http://www.freedesktop.org/standards/shared-mime-info";
  pugi::xml_node type = info.append_child("mime-type");
  type.append_attribute("type") = contentType.c_str();
  if (!description.empty()) type.append_child("comment").text().set(description.c_str());
  // XBEL files are XML: viewers and icons of XML apply when nothing better does.
  if (contentType == kDefaultContentType) type.append_child("sub-class-of").append_attribute("type") = "application/xml";
  type.append_child("glob").append_attribute("pattern") = glob.c_str();
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

fs::path FindOnPath(const std::vector<fs::path>& searchPath, const char* name) {
  for (const fs::path& folder : searchPath) {
    const fs::path candidate = folder / name;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Runs a tool with an argument vector and waits for it; output goes nowhere.
void RunQuietly(const fs::path& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> args;
  args.push_back(program.string());
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The local path of a "file:" link, or nothing when it is not one.
std::optional<std::string> LocalPathOfFileUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size() || !SameAsciiText(uri.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  std::string_view rest = uri.substr(kScheme.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !SameAsciiText(host, "localhost")) return std::nullopt;
  rest = rest.substr(slash);
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && HexDigit(rest[i + 1]) >= 0 && HexDigit(rest[i + 2]) >= 0) {
      const char byte = static_cast<char>(HexDigit(rest[i + 1]) * 16 + HexDigit(rest[i + 2]));
      if (byte == '\0') return std::nullopt;
      path += byte;
      i += 2;
    } else {
      path += rest[i];
    }
  }
  return path;
}

}  // namespace

TXdgFolders TXdgFolders::FromLookup(const Lookup& variable) {
  TXdgFolders xdg;
  const std::optional<std::string> home = variable("HOME");
  xdg.home = home && !home->empty() && home->front() == '/' ? fs::path(*home) : AccountHomeFolder();
  xdg.dataHome = BaseFolder(variable("XDG_DATA_HOME"), xdg.home, ".local/share");
  xdg.configHome = BaseFolder(variable("XDG_CONFIG_HOME"), xdg.home, ".config");
  xdg.configDirs = AbsoluteList(variable("XDG_CONFIG_DIRS"), {"/etc/xdg"});
  xdg.dataDirs = AbsoluteList(variable("XDG_DATA_DIRS"), {"/usr/local/share", "/usr/share"});
  if (const auto desktops = variable("XDG_CURRENT_DESKTOP")) {
    std::size_t pos = 0;
    while (pos <= desktops->size()) {
      std::size_t end = desktops->find(':', pos);
      if (end == std::string::npos) end = desktops->size();
      const std::string name = AsciiLowerCase(desktops->substr(pos, end - pos));
      if (!name.empty() && name.find('/') == std::string::npos) xdg.desktops.push_back(name);
      pos = end + 1;
    }
  }
  xdg.searchPath = AbsoluteList(variable("PATH"), {});
  return xdg;
}

TXdgFolders TXdgFolders::FromProcess() {
  return FromLookup([](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  });
}

TLinuxEnvironment::TLinuxEnvironment() : TLinuxEnvironment(TXdgFolders::FromProcess(), RunningExecutablePath()) {}

TLinuxEnvironment::TLinuxEnvironment(TXdgFolders folders, fs::path executable)
    : xdg_(std::move(folders)), executable_(std::move(executable)) {}

fs::path TLinuxEnvironment::DesktopEntryPath() const {
  return xdg_.dataHome.empty() ? fs::path() : xdg_.dataHome / "applications" / kDesktopFileName;
}

fs::path TLinuxEnvironment::MimePackagePath() const {
  return xdg_.dataHome.empty() ? fs::path() : xdg_.dataHome / "mime" / "packages" / "tessellink-xbel.xml";
}

fs::path TLinuxEnvironment::AutostartEntryPath() const {
  return xdg_.configHome.empty() ? fs::path() : xdg_.configHome / "autostart" / kDesktopFileName;
}

fs::path TLinuxEnvironment::MimeAppsListPath() const {
  return xdg_.configHome.empty() ? fs::path() : xdg_.configHome / "mimeapps.list";
}

std::vector<fs::path> TLinuxEnvironment::MimeAppsLookupOrder() const {
  std::vector<fs::path> files;
  auto addFolder = [&](const fs::path& folder) {
    if (folder.empty()) return;
    for (const std::string& desktop : xdg_.desktops) files.push_back(folder / (desktop + "-mimeapps.list"));
    files.push_back(folder / "mimeapps.list");
  };
  addFolder(xdg_.configHome);
  for (const fs::path& folder : xdg_.configDirs) addFolder(folder);
  if (!xdg_.dataHome.empty()) files.push_back(xdg_.dataHome / "applications" / "mimeapps.list");
  for (const fs::path& folder : xdg_.dataDirs) files.push_back(folder / "applications" / "mimeapps.list");
  return files;
}

bool TLinuxEnvironment::RegisterFileType(const std::string& extension, const std::string& /*typeName*/,
                                         const std::string& description, const std::string& programPath,
                                         const std::string& contentType) const {
  // The type name has no counterpart here: shared-mime-info names a type by its content type.
  if (extension.empty() || programPath.empty() || xdg_.dataHome.empty()) return false;
  const std::string type = contentType.empty() ? kDefaultContentType : contentType;
  const std::string glob = ExtensionGlob(extension);
  if (glob.empty() || !IsContentTypeName(type)) return false;
  try {
    const fs::path entryPath = DesktopEntryPath();
    fs::create_directories(entryPath.parent_path());
    TKeyFile entry = LoadKeyFile(entryPath);
    std::vector<std::string> types = SplitListValue(entry.Get(kDesktopGroup, "MimeType").value_or(""));
    AddUnique(types, type);
    entry.Set(kDesktopGroup, "Type", "Application");
    entry.Set(kDesktopGroup, "Name", "Tessellink");
    entry.Set(kDesktopGroup, "Exec", EscapeKeyValue(ExecLine(ExecPathToken(programPath), types)));
    entry.Set(kDesktopGroup, "MimeType", JoinListValue(types));
    WriteFileAtomically(entryPath, entry.Text());

    const fs::path packagePath = MimePackagePath();
    fs::create_directories(packagePath.parent_path());
    WriteFileAtomically(packagePath, MimePackageText(type, glob, description));
  } catch (const std::exception&) {
    return false;
  }
  RunUpdateMimeDatabase();
  return true;
}

void TLinuxEnvironment::RunUpdateMimeDatabase() const {
  // Best effort: without the tool the package takes effect when the database is next built.
  const fs::path tool = FindOnPath(xdg_.searchPath, "update-mime-database");
  if (!tool.empty()) RunQuietly(tool, {(xdg_.dataHome / "mime").string()});
}

void TLinuxEnvironment::RegisterUrlProtocol() const {
  if (xdg_.dataHome.empty() || executable_.empty()) return;
  try {
    const fs::path entryPath = DesktopEntryPath();
    fs::create_directories(entryPath.parent_path());
    TKeyFile entry = LoadKeyFile(entryPath);
    std::vector<std::string> types = SplitListValue(entry.Get(kDesktopGroup, "MimeType").value_or(""));
    AddUnique(types, kUrlContentType);
    const std::optional<std::string> exec = entry.Get(kDesktopGroup, "Exec");
    if (!exec || ExecTokens(UnescapeKeyValue(*exec)).empty()) {
      entry.Set(kDesktopGroup, "Type", "Application");
      entry.Set(kDesktopGroup, "Name", "Tessellink");
      entry.Set(kDesktopGroup, "Exec", EscapeKeyValue(ExecPathToken(executable_.string()) + " %u"));
    } else {
      entry.Set(kDesktopGroup, "Exec", EscapeKeyValue(ExecForLinks(UnescapeKeyValue(*exec))));
    }
    entry.Set(kDesktopGroup, "MimeType", JoinListValue(types));
    WriteFileAtomically(entryPath, entry.Text());
  } catch (const std::exception&) {
    return;  // without the entry a default handler would point nowhere
  }
  try {
    const fs::path listPath = MimeAppsListPath();
    if (listPath.empty()) return;
    fs::create_directories(listPath.parent_path());
    TKeyFile list = LoadKeyFile(listPath);
    list.Set(kDefaultsGroup, kUrlContentType, kDesktopFileName);
    WriteFileAtomically(listPath, list.Text());
  } catch (const std::exception&) {
  }
}

void TLinuxEnvironment::SetRunAtStartup(bool on) const {
  const fs::path path = AutostartEntryPath();
  if (path.empty()) return;
  std::error_code ec;
  if (!on) {
    fs::remove(path, ec);
    return;
  }
  if (executable_.empty()) return;
  try {
    fs::create_directories(path.parent_path());
    TKeyFile entry;
    entry.Set(kDesktopGroup, "Type", "Application");
    entry.Set(kDesktopGroup, "Name", "Tessellink");
    entry.Set(kDesktopGroup, "Exec", EscapeKeyValue(ExecPathToken(executable_.string())));
    WriteFileAtomically(path, entry.Text());
  } catch (const std::exception&) {
  }
}

bool TLinuxEnvironment::IsRunAtStartup() const {
  if (executable_.empty()) return false;
  const std::optional<std::string> exec = ReadKey(AutostartEntryPath(), kDesktopGroup, "Exec");
  if (!exec) return false;
  const std::vector<std::string> tokens = ExecTokens(UnescapeKeyValue(*exec));
  return !tokens.empty() && SameText(ExecTokenPath(tokens.front()), executable_.string());
}

std::string TLinuxEnvironment::DefaultBrowserCommand() const {
  std::vector<fs::path> applicationFolders;
  if (!xdg_.dataHome.empty()) applicationFolders.push_back(xdg_.dataHome / "applications");
  for (const fs::path& folder : xdg_.dataDirs) applicationFolders.push_back(folder / "applications");

  for (const fs::path& listPath : MimeAppsLookupOrder()) {
    const std::optional<std::string> value = ReadKey(listPath, kDefaultsGroup, "x-scheme-handler/http");
    if (!value) continue;
    for (const std::string& id : SplitListValue(*value)) {
      if (id.find('/') != std::string::npos || id == "." || id == "..") continue;
      for (const fs::path& folder : applicationFolders) {
        const fs::path entryPath = folder / id;
        std::error_code ec;
        if (!fs::is_regular_file(entryPath, ec)) continue;
        if (const auto exec = ReadKey(entryPath, kDesktopGroup, "Exec")) return UnescapeKeyValue(*exec);
        break;  // the first entry of an id hides the later ones
      }
    }
  }
  return {};
}

std::string TLinuxEnvironment::FileVersionText() const { return TESSELLINK_VERSION; }

// Callers only ask whether the system is newer than Windows 2000; every system
// this build runs on counts as newer.
int TLinuxEnvironment::WindowsVersionCode() const { return 7; }

std::string TLinuxEnvironment::SpecialFolderPath(int id) const {
  switch (id) {
    case kFavoritesFolder: return xdg_.home.empty() ? std::string() : (xdg_.home / "Favorites").string();
    case kAppDataFolder: return xdg_.configHome.string();
    case kLocalAppDataFolder: return xdg_.dataHome.string();
    default: return {};
  }
}

// Reading the caption of a browser window belongs to the browser integration.
std::string TLinuxEnvironment::OperaPageTitle() const { return {}; }

std::string TLinuxEnvironment::LongPathOf(const std::string& path) const {
  if (path.empty()) return path;
  // Desktops pass files to a link-taking Exec line as "file:" links; the shell
  // of the original system resolved those too.
  const std::string local = LocalPathOfFileUri(path).value_or(path);
  std::error_code ec;
  if (!fs::exists(local, ec)) return local;
  const fs::path resolved = fs::weakly_canonical(local, ec);
  return ec ? local : resolved.string();
}

}  // namespace tessellink
