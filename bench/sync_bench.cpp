// The synchronisation's bulk work on the 100,000-bookmark file: compression and
// inflation with the program's own functions next to zlib's one-shot calls on
// the same bytes, and the upload and download of the compressed file through
// the storage client against tessellink-accountd and s3rver on loopback.
// Bytes are always the uncompressed file's size for compression and inflation,
// the compressed size for transfers; the counter "MB" is 10^6 bytes a second.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/environment_services.h"
#include "bench_corpus.h"
#include "common/atomic_file.h"
#include "sync/s3_storage.h"
#include "sync/s3_thread.h"

// The child process helper of the integration tests finds the repository from
// this macro; the bench sits one folder below the repository too.
static const std::string kBenchTestDataDir =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" / "data").string();
#define TESSELLINK_TEST_DATA_DIR kBenchTestDataDir
#include "../tests/support/child_process.h"

namespace tessellink::bench {
namespace {

namespace fs = std::filesystem;

const std::string& CorpusBytes() {
  static const std::string bytes = ReadFileBytes(CorpusFile());
  return bytes;
}

const std::string& Compressed() {
  static const std::string bytes = CompressBytes(CorpusBytes());
  return bytes;
}

const fs::path& WorkFolder() {
  static const fs::path folder = [] {
    const fs::path path = fs::temp_directory_path() / ("tessellink-syncbench-" + std::to_string(getpid()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

void SetThroughput(benchmark::State& state, std::size_t bytes) {
  const auto total = static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes);
  state.SetBytesProcessed(total);
  state.counters["MB"] = benchmark::Counter(static_cast<double>(total) / 1e6, benchmark::Counter::kIsRate);
}

void SetRatio(benchmark::State& state, std::size_t compressedSize) {
  state.counters["packed_bytes"] = static_cast<double>(compressedSize);
  state.counters["ratio"] = static_cast<double>(CorpusBytes().size()) / static_cast<double>(compressedSize);
}

void BM_CompressBytes(benchmark::State& state) {
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string packed = CompressBytes(CorpusBytes());
    size = packed.size();
    benchmark::DoNotOptimize(packed.data());
  }
  SetThroughput(state, CorpusBytes().size());
  SetRatio(state, size);
}
BENCHMARK(BM_CompressBytes)->Unit(benchmark::kMillisecond);

void BM_ZlibCompress2(benchmark::State& state) {
  const std::string& input = CorpusBytes();
  std::string out(compressBound(static_cast<uLong>(input.size())), '\0');
  uLongf size = 0;
  for (auto _ : state) {
    size = static_cast<uLongf>(out.size());
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(input.data()),
                  static_cast<uLong>(input.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
      state.SkipWithError("compress2 failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetThroughput(state, input.size());
  SetRatio(state, size);
}
BENCHMARK(BM_ZlibCompress2)->Unit(benchmark::kMillisecond);

// Inflates and writes the file as a whole (temporary file, flush, rename).
void BM_ExtractToFile(benchmark::State& state) {
  const fs::path out = WorkFolder() / "extracted.xbel";
  for (auto _ : state) ExtractToFile(&Compressed(), out);
  if (fs::file_size(out) != CorpusBytes().size()) state.SkipWithError("the inflated file differs in size");
  SetThroughput(state, CorpusBytes().size());
}
BENCHMARK(BM_ExtractToFile)->Unit(benchmark::kMillisecond);

// zlib's one-call inflation of the compressed corpus into `out`, sized for it.
bool UncompressInto(std::string& out, uLongf& size) {
  size = static_cast<uLongf>(out.size());
  return uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(Compressed().data()),
                    static_cast<uLong>(Compressed().size())) == Z_OK;
}

void BM_ZlibUncompress(benchmark::State& state) {
  std::string out(CorpusBytes().size(), '\0');
  for (auto _ : state) {
    uLongf size = 0;
    if (!UncompressInto(out, size)) {
      state.SkipWithError("uncompress failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetThroughput(state, CorpusBytes().size());
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

// The same plus the atomic write, to tell the inflation from the file's cost
// in the program's figure.
void BM_ZlibUncompressAndWrite(benchmark::State& state) {
  const fs::path file = WorkFolder() / "uncompressed.xbel";
  std::string out(CorpusBytes().size(), '\0');
  for (auto _ : state) {
    uLongf size = 0;
    if (!UncompressInto(out, size)) {
      state.SkipWithError("uncompress failed");
      break;
    }
    WriteFileAtomically(file, std::string_view(out.data(), size));
  }
  SetThroughput(state, CorpusBytes().size());
}
BENCHMARK(BM_ZlibUncompressAndWrite)->Unit(benchmark::kMillisecond);

// The account service and the storage as child processes, started by the first
// transfer benchmark and stopped when the program ends.
constexpr const char* kSecret = "wJalrXUtnFEMI/K7MDENG/bPxRfiCYEXAMPLEKEY";
constexpr const char* kUser = "benchuser";
constexpr const char* kPassword = "bench password";

fs::path AccountdProgram() { return fs::read_symlink("/proc/self/exe").parent_path() / "tessellink-accountd"; }

// Empty when the transfer benchmarks can run; otherwise what is missing.
std::string MissingTransferTools() {
  std::string missing;
  if (!test::FindProgram("node")) missing += "node is not on PATH. ";
  if (!fs::exists(test::S3rverToolDir() / "node_modules" / "s3rver" / "package.json"))
    missing += "s3rver is not installed in " + (test::S3rverToolDir() / "node_modules").string() + ". ";
  if (!missing.empty()) missing += "scripts/setup installs node and s3rver. ";
  if (access(AccountdProgram().c_str(), X_OK) != 0)
    missing += AccountdProgram().string() + " is missing: build the target tessellink-accountd. ";
  return missing;
}

class Servers {
 public:
  Servers() {
    const fs::path folder = WorkFolder() / "servers";
    fs::create_directories(folder / "storage");
    WriteFileAtomically(folder / "secret.key", std::string(kSecret) + "\n");
    accountd_ = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{AccountdProgram().string(), "--port", "0", "--database",
                                 (folder / "accounts.sqlite").string(), "--secret-key-file",
                                 (folder / "secret.key").string()},
        folder / "accountd.log");
    accountPort_ = accountd_->WaitForListening();
    s3rver_ = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"node", (test::S3rverToolDir() / "launch.js").string(), "--port", "0",
                                 "--directory", (folder / "storage").string(), "--access-key-id",
                                 kStorageAccessKeyId, "--secret-key-file", (folder / "secret.key").string()},
        folder / "s3rver.log");
    storagePort_ = s3rver_->WaitForListening();
    TS3Storage account = Client();
    if (!account.Register(kUser, kPassword, "bench@example.com"))
      throw std::runtime_error("registration failed: " + account.LastReply.Desc);
  }

  TS3Storage Client() const {
    TStorageEndpoint endpoint;
    endpoint.baseUrl = "http://127.0.0.1:" + std::to_string(accountPort_) + "/";
    endpoint.storageHost = "127.0.0.1:" + std::to_string(storagePort_);
    endpoint.connectTimeoutMs = 5000;
    endpoint.idleTimeoutMs = 30000;
    TS3Storage client(endpoint);
    client.UserName = kUser;
    client.Password = kPassword;
    return client;
  }

 private:
  std::unique_ptr<test::ChildProcess> accountd_;
  int accountPort_ = 0;
  std::unique_ptr<test::ChildProcess> s3rver_;
  int storagePort_ = 0;
};

std::unique_ptr<Servers>& ServersSlot() {
  static std::unique_ptr<Servers> servers;
  return servers;
}

// Nothing (and the reason in the state) when the servers do not start.
Servers* StartedServers(benchmark::State& state) {
  static std::string failure;
  if (!ServersSlot() && failure.empty()) {
    try {
      ServersSlot() = std::make_unique<Servers>();
    } catch (const std::exception& error) {
      failure = error.what();
    }
  }
  if (!ServersSlot()) state.SkipWithError(failure.c_str());
  return ServersSlot().get();
}

std::string JoinErrors(const TS3Storage& storage) {
  std::string text;
  for (const std::string& line : storage.Errors) text += line + " ";
  return text;
}

// One upload as the program makes it: the signature from the account service,
// then the PUT of the compressed file with its version.
void BM_Upload(benchmark::State& state) {
  Servers* servers = StartedServers(state);
  if (servers == nullptr) return;
  int version = 0;
  for (auto _ : state) {
    TS3Storage client = servers->Client();
    client.SetVersion(std::to_string(++version));
    if (!client.PutObject(kStorageBucket, StorageKey(kUser), true, Compressed())) {
      state.SkipWithError(("upload failed: " + JoinErrors(client)).c_str());
      break;
    }
  }
  SetThroughput(state, Compressed().size());
}

void BM_Download(benchmark::State& state) {
  Servers* servers = StartedServers(state);
  if (servers == nullptr) return;
  TS3Storage uploader = servers->Client();
  if (!uploader.PutObject(kStorageBucket, StorageKey(kUser), true, Compressed())) {
    state.SkipWithError(("upload failed: " + JoinErrors(uploader)).c_str());
    return;
  }
  for (auto _ : state) {
    TS3Storage client = servers->Client();
    std::string body;
    body.reserve(Compressed().size());
    if (!client.GetObject(kStorageBucket, StorageKey(kUser), body)) {
      state.SkipWithError(("download failed: " + JoinErrors(client)).c_str());
      break;
    }
    if (body != Compressed()) {
      state.SkipWithError("the downloaded bytes differ from the uploaded ones");
      break;
    }
  }
  SetThroughput(state, Compressed().size());
}

}  // namespace
}  // namespace tessellink::bench

int main(int argc, char** argv) {
  using namespace tessellink::bench;
  // As in store_bench: freed memory stays in the process, so that page faults
  // of fresh mappings do not decide the figures.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  std::printf("corpus: %s, %.1f MB, compressed %zu bytes (ratio %.2f)\n", CorpusFile().c_str(),
              static_cast<double>(CorpusBytes().size()) / 1e6, Compressed().size(),
              static_cast<double>(CorpusBytes().size()) / static_cast<double>(Compressed().size()));
  const std::string missing = MissingTransferTools();
  if (missing.empty()) {
    // Wall-clock time: the client mostly waits on the servers.
    benchmark::RegisterBenchmark("BM_Upload", BM_Upload)->UseRealTime()->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("BM_Download", BM_Download)->UseRealTime()->Unit(benchmark::kSecond);
  } else {
    std::printf("upload and download skipped: %s\n", missing.c_str());
  }
  benchmark::RunSpecifiedBenchmarks();
  ServersSlot().reset();
  std::filesystem::remove_all(WorkFolder());
  std::filesystem::remove(CorpusFile());
  benchmark::Shutdown();
  return 0;
}
