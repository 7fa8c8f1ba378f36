// One cold load in a fresh process, as the program does at start: the time it
// takes and the peak memory above the process's baseline, as a multiple of the
// file's size. `store_memory pugixml` measures a bare pugixml load of the same
// file for comparison; without an argument the program's load and records.

#include <pugixml.hpp>

#include <chrono>
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

int main(int argc, char** argv) {
  using namespace tessellink;
  const bool bare = argc > 1 && std::strcmp(argv[1], "pugixml") == 0;
  const auto& file = bench::CorpusFile();  // written before the baseline is taken
  const double fileMb = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
  // The corpus text was freed, but its pages may still count; reset the mark.
  std::ofstream("/proc/self/clear_refs") << "5";
  const long baseKb = StatusKb("VmRSS:");
  const auto start = std::chrono::steady_clock::now();
  std::size_t items = 0;
  pugi::xml_document doc;
  TXbelBuilder builder;
  TBmkRecList records;
  if (bare) {
    items = doc.load_file(file.c_str()) ? 1 : 0;
  } else {
    builder.LoadDocument(file);
    builder.BuildRecords(records);
    items = records.size();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double usedMb = static_cast<double>(StatusKb("VmHWM:") - baseKb) / 1024;
  std::printf("%s: file %.1f MiB, %.0f ms, peak above baseline %.1f MiB = %.2f x file size (%zu)\n",
              bare ? "bare pugixml load" : "load + records", fileMb, ms, usedMb, usedMb / fileMb, items);
  std::filesystem::remove(file);
  return 0;
}
