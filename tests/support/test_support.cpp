#include "support/test_support.h"

#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace tessellink::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int i = 0; i < 100; ++i) {
    fs::path candidate = fs::temp_directory_path() /
                         ("tessellink-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

fs::path FixturePath(std::string_view relative) { return fs::path(TESSELLINK_TEST_DATA_DIR) / relative; }
fs::path SuppliedDataPath(std::string_view name) { return fs::path(TESSELLINK_SUPPLIED_DATA_DIR) / name; }

fs::path CopyFixture(std::string_view relative, const fs::path& dir) {
  const fs::path source = FixturePath(relative);
  const fs::path target = dir / source.filename();
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  return target;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tessellink::test
