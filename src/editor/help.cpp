#include "editor/commands.h"

namespace ostrel {

void HelpCommand(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

}  // namespace ostrel
