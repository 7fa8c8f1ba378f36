// Writes the import benchmarks' three input files into a folder, for runs of
// other programs on the same input (bench/compare_buku):
//   write_interchange_corpus FOLDER [BOOKMARKS]

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "interchange_corpus.h"

int main(int argc, char** argv) {
  using namespace tessellink::bench;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FOLDER [BOOKMARKS]\n", argv[0]);
    return 2;
  }
  InterchangeShape shape;
  if (argc == 3) {
    char* end = nullptr;
    const long count = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || count < 1 || count > 10000000) {
      std::fprintf(stderr, "%s: BOOKMARKS must be a number from 1 to 10000000\n", argv[0]);
      return 2;
    }
    shape.bookmarks = static_cast<int>(count);
  }
  try {
    const std::filesystem::path folder = argv[1];
    WriteInterchangeCorpus(folder, shape);
    for (const char* name : {kHtmlCorpusName, kOperaCorpusName, kPlacesCorpusName})
      std::printf("%s\t%.1f MB\n", (folder / name).c_str(),
                  static_cast<double>(std::filesystem::file_size(folder / name)) / 1e6);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
