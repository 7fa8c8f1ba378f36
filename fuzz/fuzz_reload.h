#pragma once
// The promise every import harness checks last: what the import left must
// save to text that loads again.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace fuzz {

inline void CheckSavesAndLoads(const tessellink::TXbelBuilder& builder) {
  const std::string saved = builder.Document().SaveText(tessellink::XbelSaveMode::Ordinary);
  try {
    (void)tessellink::TXbelDocument::Parse(saved, "fuzz-saved");
  } catch (const tessellink::XbelLoadError& e) {
    std::fprintf(stderr, "saved document does not load again: %s\n---\n%s\n---\n", e.what(), saved.c_str());
    std::abort();
  }
}

}  // namespace fuzz
