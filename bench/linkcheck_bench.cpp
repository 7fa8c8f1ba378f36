// The dead-link scan over 1,000 bookmarks against a loopback server that
// answers each request after 20 ms. Five checks at a time bound the scan from
// below at 1,000 x 20 ms / 5 = 4 s; the scan's wall time is reported as a
// ratio to that bound, with the peak memory the scan adds above the process's
// baseline. With --linkchecker, the same 1,000 links on an HTML page are
// checked by linkchecker (Debian's peer tool) against the same server.
//
//   linkcheck_bench [--links N] [--delay-ms D] [--linkchecker [PATH]] [--threads T]

#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

}  // namespace

int main(int argc, char** argv) {
  int links = 1000;
  int delayMs = 20;
  int threads = ParallelChecks;
  std::string linkchecker;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--links" && i + 1 < argc) {
      links = std::atoi(argv[++i]);
    } else if (a == "--delay-ms" && i + 1 < argc) {
      delayMs = std::atoi(argv[++i]);
    } else if (a == "--threads" && i + 1 < argc) {
      threads = std::atoi(argv[++i]);
    } else if (a == "--linkchecker") {
      linkchecker = (i + 1 < argc && argv[i + 1][0] != '-') ? argv[++i] : "linkchecker";
    } else {
      std::fprintf(stderr, "usage: %s [--links N] [--delay-ms D] [--linkchecker [PATH]] [--threads T]\n", argv[0]);
      return 2;
    }
  }
  if (links < 1 || delayMs < 0 || threads < 1) {
    std::fprintf(stderr, "links and threads must be positive, the delay not negative\n");
    return 2;
  }

  httplib::Server server;
  // Far more workers than checks in flight, so the server never queues a request.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  std::atomic<long> answered{0};
  server.Get(R"(/link/\d+)", [&](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ++answered;
    // linkchecker sends more than 10 requests a second to one host only to a server that names it.
    res.set_header("LinkChecker", "allowed");
    res.set_content("", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();

  char pattern[] = "/tmp/linkcheck_bench.XXXXXX";
  if (!mkdtemp(pattern)) {
    std::fprintf(stderr, "cannot create a temporary folder\n");
    return 1;
  }
  const fs::path folder = pattern;
  int status = 0;
  try {
    // A short scan first: threads, the server's pool and the HTTP library are
    // set up before the baseline is taken.
    Scan(folder, port, 2 * ParallelChecks, 1000000);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long baseKb = StatusKb("VmRSS:");
    const auto [seconds, ok] = Scan(folder, port, links, 0);
    const long peakKb = StatusKb("VmHWM:") - baseKb;
    const long afterKb = StatusKb("VmRSS:") - baseKb;
    const double bound = links * (delayMs / 1000.0) / ParallelChecks;
    const double ratio = seconds / bound;
    std::printf("tessellink scan: %d links, %d OK, %.3f s; bound %.3f s (%d x %d ms / %d); ratio %.3f (%s 15%%)\n",
                links, ok, seconds, bound, links, delayMs, ParallelChecks, ratio,
                ratio <= 1.15 ? "within" : "NOT within");
    std::printf("tessellink memory: peak %+ld KiB above the baseline during the scan, %+ld KiB after it\n", peakKb,
                afterKb);
    if (ok != links || ratio > 1.15) status = 1;

    if (!linkchecker.empty()) {
      std::string html = "<!DOCTYPE html>\n<html><head><title>Links</title></head><body>\n";
      for (int i = 0; i < links; ++i)
        html += "<a href=\"" + LinkUrl(port, 2000000 + i) + "\">Link " + std::to_string(i) + "</a><br>\n";
      html += "</body></html>\n";
      const fs::path page = folder / "links.html";
      WriteFileAtomically(page, html);
      // Its default pace is about 3 requests a second to one host; lift that so
      // that only the checks themselves count.
      const fs::path config = folder / "linkcheckerrc";
      WriteFileAtomically(config, "[checking]\nmaxrequestspersecond=1000\n");
      // linkchecker drops root's rights to "nobody", who must read the files.
      ::chmod(folder.c_str(), 0755);
      ::chmod(page.c_str(), 0644);
      ::chmod(config.c_str(), 0644);
      const long before = answered;
      const auto start = Clock::now();
      const int rc = Spawn({linkchecker, "--config", config.string(), "--check-extern", "--no-robots", "--no-status", "--no-warnings",
                            "--threads", std::to_string(threads), "--timeout", "60", "-o", "none",
                            "file://" + page.string()});
      const double lcSeconds = Seconds(Clock::now() - start);
      std::printf("linkchecker (%d threads): %d links, %ld requests answered, %.3f s (exit %d); tessellink/linkchecker "
                  "%.2f\n",
                  threads, links, answered - before, lcSeconds, rc, seconds / lcSeconds);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "linkcheck_bench: %s\n", e.what());
    status = 1;
  }
  server.stop();
  serving.join();
  std::error_code ec;
  fs::remove_all(folder, ec);
  return status;
}
