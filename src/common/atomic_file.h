#pragma once
// Every file the program writes goes through here: the bytes go to a temporary
// file in the same folder, are flushed to disk, and only then replace the old
// file by a rename. A failed write leaves the old file whole.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessellink {

enum class FileAccess {
  Shared,     // keeps the mode of the file it replaces; new files follow the umask
  OwnerOnly,  // readable and writable by the owner only (files holding passwords)
};

// Writes a file piece by piece without holding it whole in memory. Nothing
// replaces the old file until Commit succeeds; a writer destroyed without
// Commit removes its temporary file. Every failure throws FileWriteError with a
// message naming the file and the reason.
class TAtomicFileWriter {
 public:
  explicit TAtomicFileWriter(const std::filesystem::path& path, FileAccess access = FileAccess::Shared);
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(std::string_view bytes);
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(int err);

  std::filesystem::path path_;    // as the caller named it, for messages
  std::filesystem::path target_;  // the file replaced (through a symbolic link)
  std::filesystem::path temp_;
  FileAccess access_;
  bool existed_ = false;
  unsigned oldMode_ = 0;
  int fd_ = -1;
  std::size_t written_ = 0;
  std::string buffer_;
};

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         FileAccess access = FileAccess::Shared);

// Throws FileReadError with a message naming the file and the reason.
std::string ReadFileBytes(const std::filesystem::path& path);

// Test hook: while alive, every atomic write fails as a full disk would once it
// has written `bytes` bytes of its temporary file.
class ScopedWriteFault {
 public:
  explicit ScopedWriteFault(std::size_t bytes);
  ~ScopedWriteFault();
  ScopedWriteFault(const ScopedWriteFault&) = delete;
  ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

}  // namespace tessellink
