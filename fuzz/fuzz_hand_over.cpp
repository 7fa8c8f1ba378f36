// Hand-over texts arrive from other processes (clipboard, the instance socket,
// a "tslink:" link typed into any web page): reading them must never crash, and
// whatever a link decodes to must be valid UTF-8 and a readable message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "app/command_line.h"
#include "app/hand_over.h"
#include "app/run_log.h"
#include "common/clock.h"
#include "common/text.h"
#include "fuzz_check.h"

namespace {

using namespace tessellink;

// The run log writes "app.log" into its data folder after every line; one
// folder per process, removed at exit.
class TempDataFolder {
 public:
  TempDataFolder() {
    // Every log line is written with fsync; in memory that costs next to nothing.
    std::error_code ec;
    const std::filesystem::path parent = ::access("/dev/shm", W_OK) == 0 && std::filesystem::is_directory("/dev/shm", ec)
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    std::string pattern = (parent / "tessellink-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "a temporary data folder");
    path_ = pattern;
  }
  ~TempDataFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const std::filesystem::path& DataFolder() {
  static TempDataFolder folder;
  return folder.Path();
}

// Fixed stamps and a fixed clock: the log stays cheap and every run alike.
TLogStampFormat FixedStamps() {
  TLogStampFormat format;
  format.shortDate = [](const DateTimeFields&) { return std::string("01/02/03"); };
  format.longTime = [](const DateTimeFields&) { return std::string("04:05:06"); };
  return format;
}

void FixClock() {
  static const TFixedClock clock(40000.5, 40000.5);
  static const bool once = (SetClockForTesting(&clock), true);
  (void)once;
}

void CheckMessage(std::string_view text) {
  const std::optional<THandOver> message = ReadHandOver(text);
  if (!message) return;
  if (message->kind == THandOver::Kind::Open) {
    FUZZ_CHECK(!message->file.empty(), "an open message names a file");
  } else {
    FUZZ_CHECK(message->clearClipboard, "an add message is consumed");
  }
  // The receiver's fields are single lines of the message.
  for (const std::string* field : {&message->file, &message->address, &message->title})
    FUZZ_CHECK(field->find_first_of("\r\n") == std::string::npos, "message fields hold no line break");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  FixClock();

  CheckMessage(text);

  const std::string decoded = UrlDecodeUtf8(text);
  FUZZ_CHECK(IsValidUtf8(decoded), "a decoded link is valid UTF-8");

  // A fresh log per input: a process-wide one would keep every line and
  // rewrite all of them for each input.
  TRunLog log(DataFolder(), FixedStamps());
  const std::optional<std::string> message = HandleTslinkUrl(text, log);
  if (message) {
    FUZZ_CHECK(IsValidUtf8(*message), "a link's message is valid UTF-8");
    // A message short enough to be taken is always read as an add message.
    if (CharacterCount(*message) <= kHandOverMaxCharacters) {
      const std::optional<THandOver> read = ReadHandOver(*message);
      FUZZ_CHECK(read && read->kind == THandOver::Kind::Add, "a link's message reads as an add message");
    }
  }
  return 0;
}
