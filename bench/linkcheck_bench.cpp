// The dead-link scan over 1,000 bookmarks against a loopback server that
// answers each request after 20 ms. Five checks at a time bound the scan from
// below at 1,000 x 20 ms / 5 = 4 s; the counters give the scan's wall time as a
// ratio to that bound and the peak memory the scan adds above the process's
// baseline. BM_Linkchecker checks the same links on an HTML page with
// linkchecker (Debian's peer tool, 5 threads) against the same server.

#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/worker_dispatcher.h"
#include "common/atomic_file.h"
#include "linkcheck/dead_link_scan.h"
#include "store/xbel_builder.h"

extern char** environ;

namespace {

using namespace tessellink;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string LinkUrl(int port, int i) {
  return "http://127.0.0.1:" + std::to_string(port) + "/link/" + std::to_string(i);
}

// Scans `links` bookmarks; returns the wall time in seconds and the number of OK rows.
std::pair<double, int> Scan(const fs::path& folder, int port, int links, int first) {
  std::string xbel = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"><folder><title>Bench</title>";
  for (int i = 0; i < links; ++i)
    xbel += "<bookmark href=\"" + LinkUrl(port, first + i) + "\"><title>Link " + std::to_string(i) +
            "</title></bookmark>";
  xbel += "</folder></xbel>";
  const fs::path file = folder / "links.xbel";
  WriteFileAtomically(file, xbel);
  TXbelBuilder builder;
  builder.LoadDocument(file);
  TBmkRecList records;
  builder.BuildRecords(records);

  TQueueDispatcher dispatcher;
  TDeadLinkScan scan(records, dispatcher);
  const auto start = Clock::now();
  scan.Start();
  dispatcher.RunUntil([&] { return !scan.Scanning(); });
  const double seconds = Seconds(Clock::now() - start);
  int ok = 0;
  for (std::size_t i = 0; i < scan.RowCount(); ++i) ok += scan.Row(i).status == LinkStatus::Ok ? 1 : 0;
  return {seconds, ok};
}

// Runs a program from its argument vector with the proxy variables removed; returns its exit status.
int Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("proxy") == std::string::npos) env.push_back(entry);
  }
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kDelayMs = 20;

// One loopback server for every benchmark of the run.
class SlowServer {
 public:
  SlowServer() {
    // Far more workers than checks in flight, so the server never queues a request.
    server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server_.Get(R"(/link/\d+)", [this](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kDelayMs));
      ++answered;
      // linkchecker sends more than 10 requests a second to one host only to a server that names it.
      res.set_header("LinkChecker", "allowed");
      res.set_content("", "text/plain");
    });
    port = server_.bind_to_any_port("127.0.0.1");
    if (port <= 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    serving_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~SlowServer() {
    server_.stop();
    serving_.join();
  }
  static SlowServer& Get() {
    static SlowServer server;
    return server;
  }

  int port = 0;
  std::atomic<long> answered{0};

 private:
  httplib::Server server_;
  std::thread serving_;
};

struct TempFolder {
  TempFolder() {
    char pattern[] = "/tmp/linkcheck_bench.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot create a temporary folder");
    path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

void BM_DeadLinkScan(benchmark::State& state) {
  const int links = static_cast<int>(state.range(0));
  SlowServer& server = SlowServer::Get();
  TempFolder folder;
  // A short scan first: threads, the server's pool and the HTTP library are
  // set up before the baseline is taken.
  Scan(folder.path, server.port, 2 * ParallelChecks, 1000000);
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const long baseKb = StatusKb("VmRSS:");
    const auto [seconds, ok] = Scan(folder.path, server.port, links, 0);
    state.SetIterationTime(seconds);
    const double bound = links * (kDelayMs / 1000.0) / ParallelChecks;
    state.counters["bound_s"] = bound;
    state.counters["ratio_to_bound"] = seconds / bound;
    state.counters["peak_KiB_above_base"] = static_cast<double>(StatusKb("VmHWM:") - baseKb);
    if (ok != links) state.SkipWithError("some links were not answered OK");
  }
}
BENCHMARK(BM_DeadLinkScan)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_Linkchecker(benchmark::State& state) {
  const int links = static_cast<int>(state.range(0));
  SlowServer& server = SlowServer::Get();
  TempFolder folder;
  std::string html = "<!DOCTYPE html>\n<html><head><title>Links</title></head><body>\n";
  for (int i = 0; i < links; ++i)
    html += "<a href=\"" + LinkUrl(server.port, 2000000 + i) + "\">Link " + std::to_string(i) + "</a><br>\n";
  html += "</body></html>\n";
  const fs::path page = folder.path / "links.html";
  WriteFileAtomically(page, html);
  // Its default pace is about 3 requests a second to one host; lift that so
  // that only the checks themselves count.
  const fs::path config = folder.path / "linkcheckerrc";
  WriteFileAtomically(config, "[checking]\nmaxrequestspersecond=1000\n");
  // linkchecker drops root's rights to "nobody", who must read the files.
  ::chmod(folder.path.c_str(), 0755);
  ::chmod(page.c_str(), 0644);
  ::chmod(config.c_str(), 0644);
  for (auto _ : state) {
    const long before = server.answered;
    const auto start = Clock::now();
    const int rc = Spawn({"linkchecker", "--config", config.string(), "--check-extern", "--no-robots", "--no-status",
                          "--no-warnings", "--threads", std::to_string(ParallelChecks), "--timeout", "60", "-o",
                          "none", "file://" + page.string()});
    state.SetIterationTime(Seconds(Clock::now() - start));
    state.counters["requests_answered"] = static_cast<double>(server.answered - before);
    if (rc != 0) state.SkipWithError(rc < 0 ? "linkchecker could not be started (scripts/setup installs it)"
                                            : "linkchecker reported failures");
  }
}
BENCHMARK(BM_Linkchecker)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
