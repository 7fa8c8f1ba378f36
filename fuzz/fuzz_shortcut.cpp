// Shortcut files come from any favorites folder: reading one must never crash,
// the bookmark it fills must keep the document loadable, and the bookmark
// written back out must read again with a date that decodes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "common/clock.h"
#include "fuzz_check.h"
#include "fuzz_temp_folder.h"
#include "interchange/internet_shortcut.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;
namespace fs = std::filesystem;

// A file name from the start of the input, so that odd names (bytes that are
// not UTF-8, dots, blanks) reach the title too.
std::string NameFrom(std::string_view data) {
  std::string name(data.substr(0, std::min<std::size_t>(data.size(), 40)));
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "x";
  return name + ".url";
}

void WriteInput(const fs::path& file, std::string_view data) {
  FILE* f = std::fopen(file.c_str(), "wb");
  FUZZ_CHECK(f != nullptr, "the input file opens");
  FUZZ_CHECK(std::fwrite(data.data(), 1, data.size(), f) == data.size(), "the input file is written");
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  static const TFixedClock clock(EncodeDateTime({2024, 3, 5, 14, 7, 9, 0}), 0.0);
  SetClockForTesting(&clock);
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  const fs::path input = fuzz::Folder() / "in";
  const fs::path output = fuzz::Folder() / "out";
  std::error_code ec;
  fs::remove_all(input, ec);
  fs::remove_all(output, ec);
  fs::create_directories(input, ec);

  TXbelBuilder builder;
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder.Root());
  folder.SetTitle("Tips & Links");
  for (const std::string& name : {std::string("plain.url"), NameFrom(data)}) {
    WriteInput(input / name, data);
    const TXMLBookmarkType bookmark = TXbelBuilder::AppendBookmark(folder);
    ReadShortcutFile(bookmark, input / name, nullptr);

    // Written out, it reads back: the date written always decodes, so the
    // read finishes (only then is `added` set), and the file lies inside.
    FUZZ_CHECK(WriteShortcutFile(bookmark, output, nullptr), "the bookmark is written");
    const fs::path written = output / ShortcutPathOf(bookmark);
    FUZZ_CHECK(fs::is_regular_file(written, ec), "the file is where ShortcutPathOf says");
    const TXMLBookmarkType again = TXbelBuilder::AppendBookmark(builder.Root());
    ReadShortcutFile(again, written, nullptr);
    FUZZ_CHECK(static_cast<bool>(again.Node().attribute("added")), "a written shortcut reads back whole");
  }

  const std::string saved = builder.Document().SaveText(XbelSaveMode::Ordinary);
  try {
    TXbelDocument::Parse(saved, "fuzz-saved");
  } catch (const XbelLoadError& e) {
    std::fprintf(stderr, "check failed: the document does not load again: %s\n", e.what());
    std::abort();
  }
  SetClockForTesting(nullptr);
  return 0;
}
