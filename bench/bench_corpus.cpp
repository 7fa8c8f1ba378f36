#include "bench_corpus.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "store/xbel_elements.h"

namespace tessellink::bench {

namespace {

// A fixed linear congruential generator: the same file on every machine.
struct Lcg {
  uint64_t state = 0x2545F4914F6CDD1DULL;
  uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

const char* const kWords[] = {"news",    "daily",  "guide",   "review", "forum",  "recipes", "python",
                              "linux",   "music",  "travel",  "sports", "weather", "science", "history",
                              "garden",  "photo",  "video",   "market", "design", "library", "café",
                              "Ünïcode", "résumé", "tutorial", "blog",  "archive", "project", "manual"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);

void Escape(std::string& out, const std::string& text) {
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
}

std::string Date(Lcg& rng, bool full) {
  char buf[32];
  const int y = 2003 + static_cast<int>(rng.Below(20)), m = 1 + static_cast<int>(rng.Below(12)),
            d = 1 + static_cast<int>(rng.Below(28));
  if (full)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", y, m, d, static_cast<int>(rng.Below(24)),
                  static_cast<int>(rng.Below(60)), static_cast<int>(rng.Below(60)));
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string Words(Lcg& rng, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i) s += ' ';
    s += kWords[rng.Below(kWordCount)];
  }
  return s;
}

}  // namespace

std::string MakeXbelCorpus(const CorpusShape& shape) {
  Lcg rng;
  // Folder i's parent is an earlier folder (or the root), which nests them up
  // to a few levels deep; bookmarks are spread evenly over the folders.
  std::vector<std::vector<int>> children(shape.folders + 1);
  for (int f = 1; f <= shape.folders; ++f) {
    const int parent = f <= 20 ? 0 : 1 + static_cast<int>(rng.Below(static_cast<uint32_t>(f - 1)));
    children[parent].push_back(f);
  }
  const int perFolder = shape.bookmarks / (shape.folders + 1);
  int made = 0;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<xbel version=\"1.0\">";
  auto bookmarks = [&](int count) {
    for (int i = 0; i < count && made < shape.bookmarks; ++i, ++made) {
      out += "<bookmark href=\"https://www.site";
      out += std::to_string(rng.Below(20000));
      out += ".example.com/";
      out += kWords[rng.Below(kWordCount)];
      out += "/page-";
      out += std::to_string(made);
      out += "?q=1&amp;lang=en\" added=\"";
      out += Date(rng, rng.Below(4) != 0);
      out += "\" modified=\"";
      out += Date(rng, true);
      out += "\" visited=\"";
      out += Date(rng, true);
      out += "\"><title>";
      Escape(out, Words(rng, 2 + static_cast<int>(rng.Below(4))) + " & more " + std::to_string(made));
      out += "</title><desc>";
      Escape(out, Words(rng, 6 + static_cast<int>(rng.Below(8))));
      out += "</desc><info><metadata owner=\"";
      out += TagsOwnerUri;
      out += "\">";
      for (int t = 0; t < shape.tagsPerBookmark; ++t) {
        if (t) out += ' ';
        out += "tag";
        out += std::to_string(rng.Below(static_cast<uint32_t>(shape.tags)));
      }
      if (rng.Below(50) == 0) out += " [Hot]";
      out += "</metadata><metadata owner=\"n-visit\">";
      out += std::to_string(rng.Below(100));
      out += "</metadata></info></bookmark>";
    }
  };
  // Depth-first output of the folder tree without recursion.
  std::vector<std::pair<int, std::size_t>> stack{{0, 0}};
  bookmarks(perFolder);
  while (!stack.empty()) {
    auto& [folder, next] = stack.back();
    if (next < children[folder].size()) {
      const int child = children[folder][next++];
      out += "<folder><title>Folder ";
      out += std::to_string(child);
      out += ' ';
      out += kWords[rng.Below(kWordCount)];
      out += "</title>";
      bookmarks(perFolder);
      stack.emplace_back(child, 0);
    } else {
      if (folder != 0) out += "</folder>";
      stack.pop_back();
    }
  }
  bookmarks(shape.bookmarks - made);
  out += "</xbel>\r\n";
  return out;
}

const std::filesystem::path& CorpusFile() {
  static const std::filesystem::path file = [] {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tessellink-bench-" + std::to_string(getpid()) + ".xbel");
    std::ofstream(path, std::ios::binary) << MakeXbelCorpus();
    return path;
  }();
  return file;
}

}  // namespace tessellink::bench
