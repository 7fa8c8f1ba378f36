#include "settings/shortcut.h"

#include <gtest/gtest.h>

namespace tessellink {
namespace {

TEST(Shortcut, DecodesTheStoredCoding) {
  const struct {
    int value;
    TShortcut shortcut;
  } cases[] = {
      {16449, {0x41, false, true, false}},            // Ctrl+A
      {0x2000 | 0x8000 | 0x70, {0x70, true, false, true}},  // Shift+Alt+F1
      {0xE000 | 0x1FFF, {0x1FFF, true, true, true}},
      {0, {}},
      {0x4000, {}},    // modifiers without a key
      {-1, {}},        // outside the coding
      {0x10041, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeShortcut(c.value), c.shortcut) << c.value;
    if (!c.shortcut.IsNone()) {
      EXPECT_EQ(EncodeShortcut(c.shortcut), c.value) << c.value;
    }
  }
  EXPECT_TRUE(DecodeShortcut(0).IsNone());
  EXPECT_EQ(EncodeShortcut(TShortcut{0, true, true, true}), 0);
}

}  // namespace
}  // namespace tessellink
