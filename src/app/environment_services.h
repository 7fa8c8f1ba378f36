#pragma once
// The program's small layer over the operating system: file type and URL
// protocol registration, autostart, the default browser, version texts,
// special folders. Each operating system implements the interface in
// platform/; the helpers below need no system at all.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/comma_text.h"  // InCommaList belongs to this service set too

namespace tessellink {

// Special folder identifiers, as the callers pass them.
inline constexpr int kFavoritesFolder = 6;
inline constexpr int kAppDataFolder = 26;
inline constexpr int kLocalAppDataFolder = 28;

class IEnvironmentServices {
 public:
  virtual ~IEnvironmentServices() = default;

  // True when every step succeeded; false at once for an empty extension or
  // program path. An empty content type means the program's own.
  virtual bool RegisterFileType(const std::string& extension, const std::string& typeName,
                                const std::string& description, const std::string& programPath,
                                const std::string& contentType) const = 0;
  // Makes the running executable the handler of "tslink:" links; failures are ignored.
  virtual void RegisterUrlProtocol() const = 0;
  virtual void SetRunAtStartup(bool on) const = 0;
  virtual bool IsRunAtStartup() const = 0;
  // The command line the system opens web addresses with, or empty.
  virtual std::string DefaultBrowserCommand() const = 0;
  virtual bool IsIE7OrLater() const = 0;
  virtual std::string FileVersionText() const = 0;
  // -1 unknown, 0 to 7 from Windows 95 to "later than XP".
  virtual int WindowsVersionCode() const = 0;
  virtual std::string SpecialFolderPath(int id) const = 0;
  // Title of the page shown in Opera, or empty.
  virtual std::string OperaPageTitle() const = 0;
  // The long, absolute form of a path; the path unchanged when there is none.
  virtual std::string LongPathOf(const std::string& path) const = 0;

  std::string LocalAppDataPath() const { return SpecialFolderPath(kLocalAppDataFolder); }
  std::string DefaultBrowserKind() const;
};

// "IE", "FF", "OP" or empty, from a browser command line.
std::string DefaultBrowserKind(std::string_view command);

// False when any character is a blank, "+", "-", "*" or "/".
bool IsValidAccountName(std::string_view name);

bool IsIntegerText(std::string_view text);

inline constexpr std::size_t kDefaultExtractLimit = std::size_t{512} * 1024 * 1024;

// Inflates a zlib stream (RFC 1950) and writes the result to `file`, replacing
// it. Nothing happens without a stream. Throws AppError("Extract file error")
// on corrupt or truncated data, on output above `maxBytes` and when the file
// cannot be written; the old file then stays whole.
void ExtractToFile(const std::string* compressed, const std::filesystem::path& file,
                   std::size_t maxBytes = kDefaultExtractLimit);

}  // namespace tessellink
