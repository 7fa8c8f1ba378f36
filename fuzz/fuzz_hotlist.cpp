// Opera hotlist files come from the user's disk in whatever state Opera or
// another tool left them: reading one must never crash, the document it gives
// must save and load back, and writing that document as a hotlist and reading
// it again must give back every folder and bookmark.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz_check.h"
#include "fuzz_temp_folder.h"
#include "interchange/opera_hotlist.h"
#include "store/progress.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;

void WriteInput(const std::filesystem::path& file, std::string_view bytes) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  FUZZ_CHECK(out != nullptr, "the input file opens");
  FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size(), "the input file is written");
  std::fclose(out);
}

struct CountingProgress : IProgress {
  int64_t total = -1;
  int64_t done = 0;
  void SetTotal(int64_t t) override { total = t; }
  void Advance(int64_t steps) override { done += steps; }
};

std::unique_ptr<TXbelDocument> MustLoad(const std::string& saved, const char* what) {
  try {
    return TXbelDocument::Parse(saved, "fuzz-saved");
  } catch (const XbelLoadError& e) {
    std::fprintf(stderr, "check failed: %s does not load again: %s\n", what, e.what());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  const std::filesystem::path input = fuzz::Folder() / "in.adr";
  const std::filesystem::path output = fuzz::Folder() / "out.adr";
  WriteInput(input, data);

  TOperaToXbel converter;
  CountingProgress progress;
  converter.SetProgress(&progress);
  converter.LoadHotlist(input);
  FUZZ_CHECK(progress.done == progress.total, "every line advances the progress once");
  const int items = TXbelBuilder::CountItems(converter.Root());

  std::unique_ptr<TXbelDocument> loaded =
      MustLoad(converter.Document().SaveText(XbelSaveMode::Ordinary), "the converted document");
  FUZZ_CHECK(TXbelBuilder::CountItems(loaded->Root()) == items, "the saved document keeps every item");

  TXbelBuilder builder;
  builder.AdoptDocument(std::move(loaded));
  ExportOperaHotlist(builder, output);
  FUZZ_CHECK(!builder.OnBookmark && !builder.OnFolderEntered && !builder.OnFolderLeft, "the export removes its handlers");

  TOperaToXbel again;
  again.LoadHotlist(output);
  FUZZ_CHECK(TXbelBuilder::CountItems(again.Root()) == items, "a hotlist written by the export reads back whole");
  MustLoad(again.Document().SaveText(XbelSaveMode::Ordinary), "the re-imported document");
  return 0;
}
