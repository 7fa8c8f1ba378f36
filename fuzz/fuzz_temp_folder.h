#pragma once
// One scratch folder per fuzzing process for the files a harness writes and
// reads back: in memory where the system offers it (exports write with fsync),
// removed at exit.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_check.h"

namespace fuzz {

class TempFolder {
 public:
  TempFolder() {
    std::error_code ec;
    const std::filesystem::path parent = ::access("/dev/shm", W_OK) == 0 && std::filesystem::is_directory("/dev/shm", ec)
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    std::string pattern = (parent / "tessellink-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const std::filesystem::path& Folder() {
  static TempFolder folder;
  return folder.Path();
}

}  // namespace fuzz
