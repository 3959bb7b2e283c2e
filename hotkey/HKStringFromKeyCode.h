// The short text a user reads for a key combination, such as ⌘L or ⌥⇧F5.
#pragma once

#include "UVCCamExport.h"

#include <QString>

#include <cstdint>

// The glyphs of the held modifiers (Control, Option, Shift, Command, in that order), then
// the key's name: a symbol for special keys, otherwise the key's base character on the
// user's current keyboard layout (lower case for letters; the hot-key field shows it upper
// case). A modifier key given as the key shows only the modifier glyphs. When no layout can
// be read, the key's part stays empty.
UVCCAM_EXPORT QString HKStringFromKeyCode(std::uint16_t keyCode, unsigned long modifierFlags);
