#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tessellink::test {

// Every line, the last one included, ends with CR LF; no CR or LF stands alone.
inline void ExpectCrLfLines(const std::string& bytes) {
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "lone LF at " << i;
    } else if (bytes[i] == '\r') {
      EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "lone CR at " << i;
    }
  }
}

}  // namespace tessellink::test
