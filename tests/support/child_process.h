#pragma once
// Test servers and tools as child processes: started from an argument vector (never a shell), standard
// output captured, stopped and reaped when the owner goes away. Header-only so that any test folder can
// use it without a build change.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessellink::test {

// The full path of `name` as the shell would find it on PATH (a name with a "/" is taken as it is);
// nothing when there is no such executable.
inline std::optional<std::filesystem::path> FindProgram(std::string_view name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) {
    if (access(std::string(name).c_str(), X_OK) == 0) return std::filesystem::path(name);
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(colon + 1);
  }
}

// A folder of the repository, found from the test fixtures folder (<repo>/tests/data).
inline std::filesystem::path RepositoryPath(std::string_view relative) {
  return std::filesystem::path(TESSELLINK_TEST_DATA_DIR).parent_path().parent_path() / relative;
}

// The local S3 storage launcher of the integration tests (launch.js, its node_modules after
// scripts/setup).
inline std::filesystem::path S3rverToolDir() { return RepositoryPath("tools/s3rver"); }

class ChildProcess {
 public:
  // Starts argv[0] (looked up on PATH when it has no "/") with standard input from /dev/null, standard
  // output on a pipe, and standard error into `stderr_file`, or shared with the test when empty.
  // Throws std::runtime_error when the program cannot be started.
  explicit ChildProcess(std::vector<std::string> argv, const std::filesystem::path& stderr_file = {}) {
    if (argv.empty()) throw std::runtime_error("ChildProcess: empty argument vector");
    std::optional<std::filesystem::path> program = FindProgram(argv[0]);
    if (!program) throw std::runtime_error("ChildProcess: cannot find the program " + argv[0]);
    description_ = argv[0];

    // Everything the child needs is prepared before fork(): after it only async-signal-safe calls.
    std::vector<char*> args;
    for (auto& argument : argv) args.push_back(argument.data());
    args.push_back(nullptr);
    const std::string program_text = program->string();
    const std::string error_text = stderr_file.string();

    int output[2];
    int exec_error[2];
    if (pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("ChildProcess: pipe: " + ErrnoText());
    if (pipe2(exec_error, O_CLOEXEC) != 0) {
      close(output[0]);
      close(output[1]);
      throw std::runtime_error("ChildProcess: pipe: " + ErrnoText());
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
      int saved = errno;
      for (int fd : {output[0], output[1], exec_error[0], exec_error[1]}) close(fd);
      throw std::runtime_error(std::string("ChildProcess: fork: ") + std::strerror(saved));
    }
    if (pid_ == 0) {
      // A test that crashes must not leave its servers behind (the signal follows the end of the
      // thread that started the child: start children from the test's own thread).
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
      bool ok = input >= 0 && dup2(input, STDIN_FILENO) >= 0 && dup2(output[1], STDOUT_FILENO) >= 0;
      if (ok && !error_text.empty()) {
        int error_fd = open(error_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ok = error_fd >= 0 && dup2(error_fd, STDERR_FILENO) >= 0;
      }
      if (ok) execv(program_text.c_str(), args.data());
      int code = errno;
      ssize_t ignored = write(exec_error[1], &code, sizeof code);
      (void)ignored;
      _exit(127);
    }
    close(output[1]);
    close(exec_error[1]);
    int code = 0;
    ssize_t got;
    do {
      got = read(exec_error[0], &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    close(exec_error[0]);
    if (got > 0) {
      close(output[0]);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      throw std::runtime_error("ChildProcess: cannot start " + program_text + ": " + std::strerror(code));
    }
    output_fd_ = output[0];
    // Drained all the time, so a chatty child never blocks on a full pipe.
    reader_ = std::thread([this] { ReadOutput(); });
  }

  ~ChildProcess() { Stop(); }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Waits for a line "listening on HOST:PORT" on standard output and returns PORT (and HOST). Throws
  // std::runtime_error with the output so far when the child ends or `timeout` passes first.
  int WaitForListening(std::chrono::milliseconds timeout = std::chrono::seconds(30), std::string* host = nullptr) {
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      size_t start = 0;
      for (size_t end = output_.find('\n'); end != std::string::npos; end = output_.find('\n', start)) {
        std::string line = output_.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        static constexpr std::string_view kPrefix = "listening on ";
        if (line.compare(0, kPrefix.size(), kPrefix) != 0) continue;
        size_t colon = line.rfind(':');
        if (colon == std::string::npos || colon < kPrefix.size()) continue;
        std::string digits = line.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        int port = std::stoi(digits);
        if (port <= 0 || port > 65535) continue;
        if (host != nullptr) *host = line.substr(kPrefix.size(), colon - kPrefix.size());
        return port;
      }
      if (output_closed_) {
        throw std::runtime_error(description_ + " ended before it was listening; its output:\n" + output_);
      }
      if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
        throw std::runtime_error(description_ + " was not listening within " + std::to_string(timeout.count()) +
                                 " ms; its output:\n" + output_);
      }
    }
  }

  // Standard output so far.
  std::string Output() const {
    std::lock_guard lock(mutex_);
    return output_;
  }

  // Waits for the child to end by itself and returns its wait status; nothing when `timeout` passes
  // first (the child is then left running).
  std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    if (status_) return status_;
    if (pid_ <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      int status = 0;
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_ || (done < 0 && errno != EINTR)) {
        status_ = done == pid_ ? status : -1;
        return status_;
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // SIGTERM, a grace period, then SIGKILL; reaps the child and closes the pipe. Safe to call twice.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(3)) {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGTERM);
      if (!Wait(grace)) {
        kill(pid_, SIGKILL);
        int status = 0;
        pid_t done;
        do {
          done = waitpid(pid_, &status, 0);
        } while (done < 0 && errno == EINTR);
        status_ = done == pid_ ? status : -1;
      }
    }
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
    if (output_fd_ >= 0) {
      close(output_fd_);
      output_fd_ = -1;
    }
  }

 private:
  static std::string ErrnoText() { return std::strerror(errno); }

  void ReadOutput() {
    char buffer[4096];
    while (!stopping_) {
      pollfd ready{output_fd_, POLLIN, 0};
      int polled = poll(&ready, 1, 100);
      if (polled < 0 && errno == EINTR) continue;
      if (polled <= 0) {
        if (polled < 0) break;
        continue;
      }
      ssize_t got = read(output_fd_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      std::lock_guard lock(mutex_);
      output_.append(buffer, static_cast<size_t>(got));
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    output_closed_ = true;
    changed_.notify_all();
  }

  std::string description_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  int output_fd_ = -1;
  std::thread reader_;
  std::atomic<bool> stopping_ = false;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  bool output_closed_ = false;
};

}  // namespace tessellink::test
