#pragma once
// Shared test helpers: temporary folders and fixture access.

#include <filesystem>
#include <string>
#include <string_view>

namespace tessellink::test {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::filesystem::path FixturePath(std::string_view relative);  // under tests/data
std::filesystem::path SuppliedDataPath(std::string_view name);  // under data/

// Copies a fixture into `dir` and returns the copy's path: tests never touch the original.
std::filesystem::path CopyFixture(std::string_view relative, const std::filesystem::path& dir);

std::string ReadFile(const std::filesystem::path& path);

// A bookmark file holding one bookmark (title and address go in as written).
inline std::string OneBookmarkXbel(const std::string& title, const std::string& href) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"><bookmark href=\"" + href + "\"><title>" +
         title + "</title></bookmark></xbel>";
}
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tessellink::test
