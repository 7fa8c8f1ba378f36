#include "settings/shortcut.h"

namespace tessellink {

TShortcut DecodeShortcut(int value) {
  TShortcut result;
  if (value < 0 || value > 0xFFFF || (value & kShortcutKeyMask) == 0) return result;
  result.virtualKey = value & kShortcutKeyMask;
  result.shift = (value & kShortcutShift) != 0;
  result.ctrl = (value & kShortcutCtrl) != 0;
  result.alt = (value & kShortcutAlt) != 0;
  return result;
}

int EncodeShortcut(const TShortcut& shortcut) {
  const int key = shortcut.virtualKey & kShortcutKeyMask;
  if (key == 0) return 0;
  return key | (shortcut.shift ? kShortcutShift : 0) | (shortcut.ctrl ? kShortcutCtrl : 0) |
         (shortcut.alt ? kShortcutAlt : 0);
}

}  // namespace tessellink
