#pragma once
// The local S3 storage (tools/s3rver/launch.js under node) as a child process of a test.

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_support.h"

namespace tessellink::test {

inline constexpr const char* kStorageBucket = "corvane_bmk";

// Empty when node and the launcher's packages are installed (and s3cmd, when asked for); otherwise
// what is missing and how to get it. Integration tests fail with this text rather than skip.
inline std::string MissingS3rverTools(bool need_s3cmd = false) {
  std::string missing;
  if (!FindProgram("node")) missing += "node is not on PATH. ";
  if (!std::filesystem::exists(S3rverToolDir() / "node_modules" / "s3rver" / "package.json")) {
    missing += "s3rver is not installed in " + (S3rverToolDir() / "node_modules").string() + ". ";
  }
  if (need_s3cmd && !FindProgram("s3cmd")) missing += "s3cmd is not on PATH. ";
  if (!missing.empty()) missing += "Run scripts/setup to install what the integration tests need.";
  return missing;
}

// s3rver on a free port of 127.0.0.1, keeping its buckets under `work / "storage"` and accepting
// one key pair. Its log goes to `work / "s3rver.log"`. Stopped when destroyed.
class S3rverProcess {
 public:
  S3rverProcess(const std::filesystem::path& work, const std::string& access_key_id, const std::string& secret_key)
      : log_(work / "s3rver.log"), process_(Arguments(work, access_key_id, secret_key), log_) {
    try {
      port_ = process_.WaitForListening();
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(error.what()) + "\nits log:\n" + Log());
    }
  }

  int port() const { return port_; }
  std::string host_and_port() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return std::filesystem::exists(log_) ? ReadFile(log_) : std::string(); }
  ChildProcess& process() { return process_; }

 private:
  static std::vector<std::string> Arguments(const std::filesystem::path& work, const std::string& access_key_id,
                                            const std::string& secret_key) {
    std::filesystem::create_directories(work / "storage");
    WriteFile(work / "s3rver.key", secret_key + "\n");
    return {"node",
            (S3rverToolDir() / "launch.js").string(),
            "--port",
            "0",
            "--directory",
            (work / "storage").string(),
            "--access-key-id",
            access_key_id,
            "--secret-key-file",
            (work / "s3rver.key").string()};
  }

  std::filesystem::path log_;
  ChildProcess process_;
  int port_ = 0;
};

}  // namespace tessellink::test
