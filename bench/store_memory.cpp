// Peak memory of loading the benchmark file and building its records, as a
// multiple of the file's size.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_corpus.h"
#include "store/xbel_builder.h"

namespace {

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

}  // namespace

int main() {
  using namespace tessellink;
  const auto& file = bench::CorpusFile();  // written before the baseline is taken
  const double fileMb = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
  // The corpus text was freed, but the allocator may keep its pages; reset the mark.
  std::ofstream("/proc/self/clear_refs") << "5";
  const long baseKb = StatusKb("VmRSS:");
  {
    TXbelBuilder builder;
    builder.LoadDocument(file);
    TBmkRecList records;
    builder.BuildRecords(records);
    const long peakKb = StatusKb("VmHWM:");
    const double usedMb = static_cast<double>(peakKb - baseKb) / 1024;
    std::printf("file %.1f MiB, %zu records, peak above baseline %.1f MiB = %.2f x file size\n", fileMb,
                records.size(), usedMb, usedMb / fileMb);
  }
  std::filesystem::remove(file);
  return 0;
}
