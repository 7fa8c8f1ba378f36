// The real executable as a process: start, report its port, serve, stop on SIGTERM.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include "accountd/account_test_server.h"
#include "support/test_support.h"

extern char** environ;

namespace tessellink::accountd::test {
namespace {

const std::string kExecutable = std::string(TESSELLINK_BIN_DIR) + "/tessellink-accountd";

// The service with its standard output on a pipe and its standard error in a file.
class ServiceProcess {
 public:
  ServiceProcess(std::vector<std::string> arguments, const std::filesystem::path& error_file) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    arguments.insert(arguments.begin(), kExecutable);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, kExecutable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    output_ = fds[0];
    if (rc != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + kExecutable);
    }
  }
  ~ServiceProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(output_);
  }

  // One line of standard output, without its line break; empty at the end.
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(output_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // The wait status once the process has ended.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

  void Signal(int number) { kill(pid_, number); }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

TEST(AccountdProcess, ServesOnAPickedPortAndStopsOnSigterm) {
  tessellink::test::TempDir dir;
  tessellink::test::WriteFile(dir / "secret.key", "process-secret\n");
  ServiceProcess process({"--port", "0", "--database", (dir / "accounts.sqlite").string(), "--secret-key-file",
                          (dir / "secret.key").string()},
                         dir / "stderr.txt");

  const std::string prefix = "listening on 127.0.0.1:";
  std::string line = process.ReadLine();
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  int port = std::stoi(line.substr(prefix.size()));
  ASSERT_GT(port, 0);

  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  MsgResult reply = ParseMsg(client.Get("/test.php?UserName=pat&Password=" + Md5Hex("pw") + "&EMail=p%40x"));
  EXPECT_EQ(reply.status, 200);
  EXPECT_TRUE(reply.ok()) << reply.desc;

  process.Signal(SIGTERM);
  int status = process.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::string log = tessellink::test::ReadFile(dir / "stderr.txt");
  EXPECT_NE(log.find("user=\"pat\" register -> OK"), std::string::npos) << log;
  EXPECT_EQ(log.find(Md5Hex("pw")), std::string::npos) << log;
  EXPECT_EQ(log.find("process-secret"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::exists(dir / "accounts.sqlite"));
}

TEST(AccountdProcess, RefusesToStartWithoutItsFiles) {
  tessellink::test::TempDir dir;
  tessellink::test::WriteFile(dir / "secret.key", "k");
  tessellink::test::WriteFile(dir / "empty.key", "\n");
  tessellink::test::WriteFile(dir / "junk.sqlite", std::string(4096, 'x'));
  const std::string database = (dir / "accounts.sqlite").string();
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string message;
  } cases[] = {
      {{"--database", database}, 2, "--secret-key-file is required"},
      {{"--database", database, "--secret-key-file", (dir / "missing.key").string()}, 1, "cannot read"},
      {{"--database", database, "--secret-key-file", (dir / "empty.key").string()}, 1, "is empty"},
      {{"--database", (dir / "junk.sqlite").string(), "--secret-key-file", (dir / "secret.key").string()}, 1,
       "not a database"},
  };
  for (const Case& c : cases) {
    ServiceProcess process(c.arguments, dir / "stderr.txt");
    EXPECT_EQ(process.ReadLine(), "");
    int status = process.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exit_code) << c.message;
    std::string log = tessellink::test::ReadFile(dir / "stderr.txt");
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
  }
  EXPECT_FALSE(std::filesystem::exists(database));
}

}  // namespace
}  // namespace tessellink::accountd::test
