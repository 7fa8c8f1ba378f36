#pragma once
// A deterministic bookmark file for the benchmarks: 100,000 bookmarks in 2,000
// nested folders, five tags each out of 1,000, descriptions and dates.

#include <filesystem>
#include <string>

namespace tessellink::bench {

struct CorpusShape {
  int bookmarks = 100000;
  int folders = 2000;
  int tags = 1000;
  int tagsPerBookmark = 5;
};

std::string MakeXbelCorpus(const CorpusShape& shape = {});

// Writes the corpus once per process into a temporary folder and returns its path.
const std::filesystem::path& CorpusFile();

}  // namespace tessellink::bench
