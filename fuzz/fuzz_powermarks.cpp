// Powermarks files are read from wherever the user points the wizard: the
// import must never crash, and the document it gives must save and load again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "fuzz_check.h"
#include "fuzz_reload.h"
#include "fuzz_temp_folder.h"
#include "interchange/bookmark_html.h"
#include "interchange/powermarks.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);

  for (const std::string& entry : SplitMetadata(data)) {
    try {
      const int64_t seconds = HexSecondsToDate(entry);
      FUZZ_CHECK(seconds >= 0 && seconds <= 0xFFFFFFFFLL, "a 32-bit count of seconds");
    } catch (const AppError&) {
    }
  }

  const std::filesystem::path in = fuzz::Folder() / "in.html";
  WriteFileAtomically(in, data);
  TXbelBuilder builder;
  ImportPowermarks(builder, in);
  FUZZ_CHECK(builder.Root().Folder().Count() == 0, "no folders");
  FUZZ_CHECK(static_cast<int>(builder.Root().Bookmark().Count()) <= CountAnchors(in),
             "every bookmark comes from an anchor");

  fuzz::CheckSavesAndLoads(builder);
  return 0;
}
