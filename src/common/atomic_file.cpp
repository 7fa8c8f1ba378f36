#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "common/errors.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

std::atomic<long long> g_failAfterBytes{-1};

[[noreturn]] void ThrowWrite(const fs::path& path, int err) {
  throw FileWriteError("Cannot write \"" + path.string() + "\": " + std::strerror(err));
}

// Writes to the real file behind a symbolic link, so the link survives.
fs::path ResolveTarget(const fs::path& path) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    fs::path resolved = fs::canonical(path, ec);
    if (!ec) return resolved;
  }
  return path;
}

int OpenUniqueTemp(const fs::path& target, fs::path& tempPath, mode_t mode) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  // The temporary name must fit where the target's name does (255 bytes), so
  // a long name is cut, at a character boundary.
  std::string stem = target.filename().string();
  if (stem.size() > 200) {
    std::size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem.resize(cut);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder / ("." + stem + ".tmp-" + std::to_string(getpid()) + "-" +
                         std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

constexpr std::size_t kBufferSize = 1 << 18;

}  // namespace

TAtomicFileWriter::TAtomicFileWriter(const fs::path& path, FileAccess access)
    : path_(path), target_(ResolveTarget(path)), access_(access) {
  struct stat old {};
  existed_ = ::stat(target_.c_str(), &old) == 0;
  if (existed_ && S_ISDIR(old.st_mode)) ThrowWrite(path_, EISDIR);
  oldMode_ = old.st_mode & 07777;
  fd_ = OpenUniqueTemp(target_, temp_, access == FileAccess::OwnerOnly ? 0600 : 0666);
  if (fd_ < 0) ThrowWrite(path_, errno);
  buffer_.reserve(kBufferSize);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  }
}

void TAtomicFileWriter::Fail(int err) {
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  ThrowWrite(path_, err);
}

void TAtomicFileWriter::Write(std::string_view bytes) {
  if (fd_ < 0) ThrowWrite(path_, EBADF);
  if (buffer_.size() + bytes.size() > kBufferSize) Flush();
  if (bytes.size() >= kBufferSize) {
    buffer_.assign(bytes);
    Flush();
  } else {
    buffer_.append(bytes);
  }
}

void TAtomicFileWriter::Flush() {
  std::string_view bytes = buffer_;
  const long long limit = g_failAfterBytes.load();
  while (!bytes.empty()) {
    std::size_t chunk = bytes.size();
    if (limit >= 0) {
      if (written_ >= static_cast<std::size_t>(limit)) Fail(ENOSPC);
      chunk = std::min(chunk, static_cast<std::size_t>(limit) - written_);
    }
    const ssize_t n = ::write(fd_, bytes.data(), chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    written_ += static_cast<std::size_t>(n);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  buffer_.clear();
}

void TAtomicFileWriter::Commit() {
  if (fd_ < 0) ThrowWrite(path_, EBADF);
  Flush();
  if (g_failAfterBytes.load() == 0) Fail(ENOSPC);  // a full disk refuses even an empty file
  if (access_ == FileAccess::OwnerOnly) {
    if (::fchmod(fd_, 0600) != 0) Fail(errno);
  } else if (existed_) {
    if (::fchmod(fd_, static_cast<mode_t>(oldMode_)) != 0) Fail(errno);
  }
  if (::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    ThrowWrite(path_, err);
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    ThrowWrite(path_, err);
  }
  // Make the rename itself durable; a failure here no longer risks the data.
  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void WriteFileAtomically(const fs::path& path, std::string_view bytes, FileAccess access) {
  TAtomicFileWriter writer(path, access);
  writer.Write(bytes);
  writer.Commit();
}

std::string ReadFileBytes(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec))
    throw FileReadError("Cannot read \"" + path.string() + "\": " + std::strerror(EISDIR));
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileReadError("Cannot read \"" + path.string() + "\": " + std::strerror(errno));
  std::string bytes;
  in.seekg(0, std::ios::end);
  const auto size = in.tellg();
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throw FileReadError("Cannot read \"" + path.string() + "\": read error");
  return bytes;
}

ScopedWriteFault::ScopedWriteFault(std::size_t bytes) { g_failAfterBytes = static_cast<long long>(bytes); }
ScopedWriteFault::~ScopedWriteFault() { g_failAfterBytes = -1; }

}  // namespace tessellink
