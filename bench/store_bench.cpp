// Load, save, tag counts and search on 100,000 bookmarks, next to bare pugixml
// on the same file in the same run.

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>

#include <filesystem>

#include "bench_corpus.h"
#include "store/xbel_builder.h"

namespace tessellink::bench {
namespace {

namespace fs = std::filesystem;

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(CorpusFile())));
}

void BM_PugixmlParse(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_file(CorpusFile().c_str()));
  }
  SetBytes(state);
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

void BM_LoadAndBuildRecords(benchmark::State& state) {
  for (auto _ : state) {
    TXbelBuilder builder;
    builder.LoadDocument(CorpusFile());
    TBmkRecList records;
    builder.BuildRecords(records);
    benchmark::DoNotOptimize(records.size());
  }
  SetBytes(state);
}
BENCHMARK(BM_LoadAndBuildRecords)->Unit(benchmark::kMillisecond);

// The two halves of the line above, to see where the time goes.
void BM_LoadOnly(benchmark::State& state) {
  for (auto _ : state) {
    TXbelBuilder builder;
    builder.LoadDocument(CorpusFile());
  }
  SetBytes(state);
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMillisecond);

void BM_BuildRecordsOnly(benchmark::State& state) {
  TXbelBuilder builder;
  builder.LoadDocument(CorpusFile());
  for (auto _ : state) {
    TBmkRecList records;
    builder.BuildRecords(records);
    benchmark::DoNotOptimize(records.size());
  }
}
BENCHMARK(BM_BuildRecordsOnly)->Unit(benchmark::kMillisecond);

void BM_PugixmlSave(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_file(CorpusFile().c_str());
  const fs::path out = fs::path(CorpusFile()).replace_extension(".pugi.xbel");
  for (auto _ : state) benchmark::DoNotOptimize(doc.save_file(out.c_str(), "", pugi::format_raw));
  fs::remove(out);
  SetBytes(state);
}
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);

// The program's save: serialise, write a temporary file, flush it to disk, rename.
void BM_OrdinarySave(benchmark::State& state) {
  TXbelBuilder builder;
  builder.LoadDocument(CorpusFile());
  const fs::path out = fs::path(CorpusFile()).replace_extension(".saved.xbel");
  for (auto _ : state) builder.SaveDocument(out, XbelSaveMode::Ordinary);
  fs::remove(out);
  SetBytes(state);
}
BENCHMARK(BM_OrdinarySave)->Unit(benchmark::kMillisecond);

// The same without the disk flush, to show what the flush costs.
void BM_OrdinarySaveText(benchmark::State& state) {
  TXbelBuilder builder;
  builder.LoadDocument(CorpusFile());
  for (auto _ : state) benchmark::DoNotOptimize(builder.Document().SaveText(XbelSaveMode::Ordinary));
  SetBytes(state);
}
BENCHMARK(BM_OrdinarySaveText)->Unit(benchmark::kMillisecond);

struct Loaded {
  TXbelBuilder builder;
  TBmkRecList records;
  Loaded() {
    builder.LoadDocument(CorpusFile());
    builder.BuildRecords(records);
  }
};

Loaded& Shared() {
  static Loaded loaded;
  return loaded;
}

void BM_TagCounts(benchmark::State& state) {
  Loaded& l = Shared();
  for (auto _ : state) {
    TTagExList tags;
    TXbelBuilder::TagCounts(l.records, tags);
    benchmark::DoNotOptimize(tags.size());
  }
}
BENCHMARK(BM_TagCounts)->Unit(benchmark::kMillisecond);

void Search(benchmark::State& state, const char* keywords, bool caseSensitive) {
  Loaded& l = Shared();
  std::size_t hits = 0;
  for (auto _ : state) {
    TBmkRecRefs out;
    TXbelBuilder::SearchRecords(l.records, out, TSearchCondition{keywords, sfAll, caseSensitive, false});
    hits = out.size();
  }
  state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK_CAPTURE(Search, ascii_ignore_case, "Tutorial", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, two_words_ignore_case, "garden,zzz", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, non_ascii_ignore_case, "CAFÉ", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, case_sensitive, "Tutorial", true)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessellink::bench

int main(int argc, char** argv) {
  // Keep freed memory in the process: otherwise every iteration maps fresh
  // pages, and on a virtual machine the page faults (not the code) decide which
  // benchmark looks faster. A program that keeps a document open lives in this
  // steady state too.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  std::printf("corpus: %s, %.1f MB\n", tessellink::bench::CorpusFile().c_str(),
              static_cast<double>(std::filesystem::file_size(tessellink::bench::CorpusFile())) / 1e6);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove(tessellink::bench::CorpusFile());
  benchmark::Shutdown();
  return 0;
}
