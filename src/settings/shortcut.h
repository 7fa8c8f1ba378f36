#pragma once
// Hotkeys are stored as one number in the Windows virtual-key coding, so that
// settings files move between platforms unchanged.

#include <cstdint>

namespace tessellink {

inline constexpr int kShortcutKeyMask = 0x1FFF;
inline constexpr int kShortcutShift = 0x2000;
inline constexpr int kShortcutCtrl = 0x4000;
inline constexpr int kShortcutAlt = 0x8000;

struct TShortcut {
  int virtualKey = 0;  // 0: no hotkey
  bool shift = false;
  bool ctrl = false;
  bool alt = false;

  bool IsNone() const { return virtualKey == 0; }
  bool operator==(const TShortcut&) const = default;
};

// A value outside 0..0xFFFF, or one without a key, is no hotkey.
TShortcut DecodeShortcut(int value);
int EncodeShortcut(const TShortcut& shortcut);

}  // namespace tessellink
