#include "app/environment_services.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"

namespace tessellink {

std::string IEnvironmentServices::DefaultBrowserKind() const {
  return tessellink::DefaultBrowserKind(DefaultBrowserCommand());
}

std::string DefaultBrowserKind(std::string_view command) {
  const std::string lower = LowerCase(command);
  if (lower.find("iexplore") != std::string::npos) return "IE";
  if (lower.find("firefox") != std::string::npos) return "FF";
  if (lower.find("opera") != std::string::npos) return "OP";
  return {};
}

bool IsValidAccountName(std::string_view name) {
  for (const char c : name)
    if (c == ' ' || c == '+' || c == '-' || c == '*' || c == '/') return false;
  return true;
}

bool IsIntegerText(std::string_view text) { return ParseInteger(text).has_value(); }

void ExtractToFile(const std::string* compressed, const std::filesystem::path& file, std::size_t maxBytes) {
  if (compressed == nullptr) return;
  static const char* const kError = "Extract file error";

  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw AppError(kError);
  std::string out;
  bool ok = false;
  try {
    const auto* next = reinterpret_cast<const Bytef*>(compressed->data());
    std::size_t left = compressed->size();
    std::vector<unsigned char> piece(64 * 1024);
    for (;;) {
      if (zs.avail_in == 0 && left > 0) {
        const auto take = static_cast<uInt>(std::min<std::size_t>(left, UINT_MAX));
        zs.next_in = const_cast<Bytef*>(next);
        zs.avail_in = take;
        next += take;
        left -= take;
      }
      zs.next_out = piece.data();
      zs.avail_out = static_cast<uInt>(piece.size());
      const int rc = inflate(&zs, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END) break;  // corrupt, or ran out of input
      const std::size_t produced = piece.size() - zs.avail_out;
      if (produced > maxBytes - out.size()) break;  // would pass the limit
      out.append(reinterpret_cast<const char*>(piece.data()), produced);
      if (rc == Z_STREAM_END) {
        ok = true;
        break;
      }
      if (produced == 0 && zs.avail_in == 0 && left == 0) break;  // truncated stream
    }
  } catch (...) {
    inflateEnd(&zs);
    throw AppError(kError);
  }
  inflateEnd(&zs);
  if (!ok) throw AppError(kError);
  try {
    WriteFileAtomically(file, out);
  } catch (const std::exception&) {
    throw AppError(kError);
  }
}

}  // namespace tessellink
