// What the unit tests share: GoogleTest and the matchers they use, a console over in-memory
// streams (memory_console.h), an editor state made from lines and its checks (state_fixture.h),
// scratch directories (scratch_dir.h), and these helpers' names without their namespace.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/memory_console.h"
#include "support/scratch_dir.h"
#include "support/state_fixture.h"

namespace ostrel {

using test::AllLines;
using test::LineText;
using test::MakeState;
using test::MemoryConsole;
using test::SlotsAreClean;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

}  // namespace ostrel
