#pragma once
// What the harnesses share: a check that survives NDEBUG and turns a broken
// promise of the code under test into a crash libFuzzer records.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "%s:%d: check failed: %s (%s)\n", __FILE__, __LINE__, #condition, what); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (false)
