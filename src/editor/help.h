// The interactive help menu.
#pragma once

#include "common/outcome.h"

#include <cstdint>

#include "console/console.h"
#include "settings/keys.h"

namespace ostrel {

// Prints the grid limits, then the menu, and shows the page each answer's first character
// chooses (n, e, f, m) until an answer starts with x or the input ends. Every command entry
// shows the key the key table binds to it now. kCancelled when a signal interrupted the menu's
// question, kDone otherwise.
Outcome Help(const KeyTable& keys, int32_t lsize, int32_t lines, Console& con);

}  // namespace ostrel
