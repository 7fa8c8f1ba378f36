// Imports of 100,000 bookmarks from Firefox HTML, an Opera hotlist and a
// places.sqlite, with and without saving the result as XBEL; the HTML and Opera
// exports of 100,000 bookmarks; and the merge of 100,000 bookmarks into
// 100,000. Bytes are the input file's size (for exports the output's),
// items are bookmarks.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "common/atomic_file.h"
#include "common/text.h"
#include "interchange/bookmark_html.h"
#include "interchange/import_flows.h"
#include "interchange/merge.h"
#include "interchange/opera_hotlist.h"
#include "interchange/places_database.h"
#include "interchange_corpus.h"
#include "store/xbel_builder.h"

namespace tessellink::bench {
namespace {

namespace fs = std::filesystem;

enum class Format { Html, Opera, Places };

const fs::path& InputOf(Format format) {
  switch (format) {
    case Format::Html: return HtmlCorpusFile();
    case Format::Opera: return OperaCorpusFile();
    case Format::Places: break;
  }
  return PlacesCorpusFile();
}

// The data folder of the runs: the places copy, the Opera temp file, the HTML
// export's header.
const fs::path& DataFolder() {
  static const fs::path folder = [] {
    const fs::path path = InterchangeFolder() / "data";
    fs::create_directories(path);
    WriteFileAtomically(path / "firefoxheader.txt",
                        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
                        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n"
                        "<TITLE>Bookmarks</TITLE>\r\n<H1>Bookmarks</H1>\r\n<DL><p>\r\n");
    return path;
  }();
  return folder;
}

fs::path OutputFile(const char* name) { return InterchangeFolder() / name; }

int64_t CountBookmarks(pugi::xml_node container) {
  int64_t count = 0;
  std::vector<pugi::xml_node> pending{container};
  while (!pending.empty()) {
    const pugi::xml_node node = pending.back();
    pending.pop_back();
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (IsBookmarkNode(child))
        ++count;
      else if (IsFolderNode(child))
        pending.push_back(child);
    }
  }
  return count;
}

// One import with the calls the import flow makes. HTML and places land in a
// fresh builder (places through the converter's own document and the merge
// the flow does); the Opera converter keeps the document it reads.
struct Imported {
  explicit Imported(Format f) : format(f) {}
  Format format;
  TXbelBuilder builder;
  TOperaToXbel opera;
  TXbelDocument& Document() const { return format == Format::Opera ? opera.Document() : builder.Document(); }
};

void Import(Imported& into) {
  switch (into.format) {
    case Format::Html:
      ImportBookmarkHtml(into.builder, HtmlCorpusFile());
      return;
    case Format::Opera:
      into.opera.LoadHotlist(OperaCorpusFile());
      return;
    case Format::Places: {
      const fs::path copy = CopyPlacesDatabase(PlacesCorpusFile(), DataFolder());
      TFF3Converter converter;
      MergeDocument(into.builder.Root(), converter.Convert(copy));
      return;
    }
  }
}

// One untimed import per format: how many bookmarks arrive (and a warm-up).
int64_t ImportedBookmarks(Format format) {
  static std::map<Format, int64_t> counts;
  auto it = counts.find(format);
  if (it == counts.end()) {
    Imported imported(format);
    Import(imported);
    it = counts.emplace(format, CountBookmarks(imported.Document().Root().Node())).first;
  }
  return it->second;
}

void Report(benchmark::State& state, int64_t bytes, int64_t bookmarks) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * bookmarks);
  state.counters["bookmarks"] = static_cast<double>(bookmarks);
}

void BM_Import(benchmark::State& state, Format format) {
  const auto bytes = static_cast<int64_t>(fs::file_size(InputOf(format)));
  const int64_t bookmarks = ImportedBookmarks(format);
  for (auto _ : state) {
    Imported imported(format);
    Import(imported);
    benchmark::ClobberMemory();
  }
  Report(state, bytes, bookmarks);
}
BENCHMARK_CAPTURE(BM_Import, html, Format::Html)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Import, opera, Format::Opera)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Import, places, Format::Places)->Unit(benchmark::kMillisecond);

// The import, then the document saved as the program saves (flushed to disk).
void BM_ImportAndSave(benchmark::State& state, Format format) {
  const auto bytes = static_cast<int64_t>(fs::file_size(InputOf(format)));
  const int64_t bookmarks = ImportedBookmarks(format);
  const fs::path out = OutputFile("imported.xbel");
  for (auto _ : state) {
    Imported imported(format);
    Import(imported);
    imported.Document().Save(out, XbelSaveMode::Ordinary);
  }
  fs::remove(out);
  Report(state, bytes, bookmarks);
}
BENCHMARK_CAPTURE(BM_ImportAndSave, html, Format::Html)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportAndSave, opera, Format::Opera)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportAndSave, places, Format::Places)->Unit(benchmark::kMillisecond);

// The whole import run behind the wizard and the command-line tool, into an
// empty document: the HTML flow counts the anchors first, the Opera flow goes
// through a temporary XBEL file, and every flow ends with the merge.
void BM_ImportAndMerge(benchmark::State& state, Format format) {
  const auto bytes = static_cast<int64_t>(fs::file_size(InputOf(format)));
  const ImportSource kind = format == Format::Html    ? ImportSource::BookmarkHtml
                            : format == Format::Opera ? ImportSource::Opera
                                                      : ImportSource::Places;
  const TInterchangeContext context{DataFolder(), InterchangeFolder(), nullptr, nullptr};
  int64_t bookmarks = 0;
  for (auto _ : state) {
    TXbelDocument target;
    bookmarks = ImportAndMerge(target.Root(), kind, InputOf(format), context).bookmarks;
  }
  Report(state, bytes, bookmarks);
}
BENCHMARK_CAPTURE(BM_ImportAndMerge, html, Format::Html)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportAndMerge, opera, Format::Opera)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportAndMerge, places, Format::Places)->Unit(benchmark::kMillisecond);

// The store benchmarks' XBEL corpus (100,000 bookmarks, 2,000 folders, tags,
// descriptions, dates) as text, for the exports and the merge.
const std::string& XbelText() {
  static const std::string text = MakeXbelCorpus();
  return text;
}

TXbelBuilder& ExportSource() {
  static TXbelBuilder* builder = [] {
    auto* b = new TXbelBuilder;
    b->AdoptDocument(TXbelDocument::Parse(XbelText(), "corpus"));
    return b;
  }();
  return *builder;
}

void BM_ExportHtml(benchmark::State& state) {
  TXbelBuilder& builder = ExportSource();
  const fs::path out = OutputFile("exported.html");
  for (auto _ : state) ExportBookmarkHtml(builder, out, DataFolder());
  Report(state, static_cast<int64_t>(fs::file_size(out)), CountBookmarks(builder.Root().Node()));
  fs::remove(out);
}
BENCHMARK(BM_ExportHtml)->Unit(benchmark::kMillisecond);

void BM_ExportOpera(benchmark::State& state) {
  TXbelBuilder& builder = ExportSource();
  const fs::path out = OutputFile("exported.adr");
  for (auto _ : state) ExportOperaHotlist(builder, out);
  Report(state, static_cast<int64_t>(fs::file_size(out)), CountBookmarks(builder.Root().Node()));
  fs::remove(out);
}
BENCHMARK(BM_ExportOpera)->Unit(benchmark::kMillisecond);

// 100,000 bookmarks merged into a document with the same folders (same titles
// at every level, so every folder matches): either every address is new, or
// every one is already there. Only the merge is timed; each iteration gets a
// fresh pair of documents, since the merge changes both.
void BM_Merge(benchmark::State& state, bool allNew) {
  const std::string& targetText = XbelText();
  static const std::string newText = ReplaceAll(XbelText(), "href=\"https://www.site", "href=\"https://new.site");
  const std::string& sourceText = allNew ? newText : targetText;
  int64_t sourceBookmarks = 0, after = 0;
  for (auto _ : state) {
    auto target = TXbelDocument::Parse(targetText, "target");
    auto source = TXbelDocument::Parse(sourceText, "source");
    sourceBookmarks = CountBookmarks(source->Root().Node());
    const auto start = std::chrono::steady_clock::now();
    MergeDocument(target->Root(), source->Root());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    after = CountBookmarks(target->Root().Node());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * sourceBookmarks);
  state.counters["target_after"] = static_cast<double>(after);
}
BENCHMARK_CAPTURE(BM_Merge, all_new, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Merge, all_present, false)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessellink::bench

int main(int argc, char** argv) {
  // As in store_bench: freed memory stays in the process, so that page faults
  // of fresh mappings do not decide the figures.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  using namespace tessellink::bench;
  for (const auto* file : {&HtmlCorpusFile(), &OperaCorpusFile(), &PlacesCorpusFile()})
    std::printf("corpus: %s, %.1f MB\n", file->c_str(), static_cast<double>(std::filesystem::file_size(*file)) / 1e6);
  benchmark::RunSpecifiedBenchmarks();
  RemoveInterchangeFolder();
  benchmark::Shutdown();
  return 0;
}
