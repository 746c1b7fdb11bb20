#include <cstdint>

#include "editor/commands.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

TEST(PageMoves, ExtremePageLengthsStayInTheGrid) {
  auto s = MakeState(8, 5);
  MemoryConsole mc;
  for (const int32_t length : {INT32_MAX, INT32_MIN, -1}) {
    s.session.settings.page_length = length;
    s.view.cursor_line = 2;
    RunHandler(PageForw, s, mc.con());
    EXPECT_EQ(s.view.cursor_line, length > 0 ? 4 : length == -1 ? 1 : 0) << length;
    s.view.cursor_line = 2;
    RunHandler(PageBack, s, mc.con());
    EXPECT_EQ(s.view.cursor_line, length > 0 ? 0 : length == -1 ? 3 : 4) << length;
  }
  EXPECT_EQ(mc.Output(), "");
}

}  // namespace
}  // namespace ostrel
