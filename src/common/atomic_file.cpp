#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder / ("." + target.filename().string() + ".tmp-" + std::to_string(getpid()) + "-" +
                         std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool WriteAll(int fd, std::string_view bytes, int& err) {
  std::size_t done = 0;
  const long long limit = g_failAfterBytes.load();
  while (done < bytes.size()) {
    std::size_t chunk = bytes.size() - done;
    if (limit >= 0) {
      if (done >= static_cast<std::size_t>(limit)) {
        err = ENOSPC;
        return false;
      }
      chunk = std::min(chunk, static_cast<std::size_t>(limit) - done);
    }
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (limit >= 0 && bytes.empty() && limit == 0) {
    err = ENOSPC;
    return false;
  }
  return true;
}

}  // namespace

void WriteFileAtomically(const fs::path& path, std::string_view bytes, FileAccess access) {
  const fs::path target = ResolveTarget(path);
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) ThrowWrite(path, EISDIR);

  fs::path tempPath;
  const mode_t createMode = access == FileAccess::OwnerOnly ? 0600 : 0666;
  const int fd = OpenUniqueTemp(target, tempPath, createMode);
  if (fd < 0) ThrowWrite(path, errno);

  int err = 0;
  bool ok = WriteAll(fd, bytes, err);
  if (ok) {
    mode_t wanted = 0;
    bool setMode = false;
    if (access == FileAccess::OwnerOnly) {
      wanted = 0600;
      setMode = true;
    } else if (existed) {
      wanted = old.st_mode & 07777;
      setMode = true;
    }
    if (setMode && ::fchmod(fd, wanted) != 0) {
      err = errno;
      ok = false;
    }
  }
  if (ok && ::fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && ::rename(tempPath.c_str(), target.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(tempPath.c_str());
    ThrowWrite(path, err);
  }
  // Make the rename itself durable; a failure here no longer risks the data.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
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
