// The sharing service's collection comes from a server: whatever it sends, the
// import must never crash, must refuse or merge without breaking the document,
// and the document it leaves must save and load again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "fuzz_check.h"
#include "fuzz_reload.h"
#include "fuzz_temp_folder.h"
#include "share/posts_import.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;

constexpr const char* kDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"><folder><title>Work</title>"
    "<bookmark href=\"http://example.com/\"><title>Example</title></bookmark></folder></xbel>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  TXbelBuilder builder;
  builder.AdoptDocument(TXbelDocument::Parse(kDocument, "fuzz-start"));
  const std::string before = builder.Document().SaveText(XbelSaveMode::Ordinary);
  try {
    const TPostsImportResult result = ImportPosts(builder, data, fuzz::Folder());
    FUZZ_CHECK(result.added + result.skipped <= result.posts, "every new bookmark comes from a post");
  } catch (const FileReadError&) {
    FUZZ_CHECK(builder.Document().SaveText(XbelSaveMode::Ordinary) == before, "a refused reply changes nothing");
    return 0;
  }
  fuzz::CheckSavesAndLoads(builder);
  return 0;
}
