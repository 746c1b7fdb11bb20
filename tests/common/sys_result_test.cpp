#include "common/sys_result.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

namespace ostrel {
namespace {

// A failed call's errno value travels with what was being done, and reads as the system's text.
TEST(SysResult, CarriesTheErrnoOfTheFailedCallAndItsText) {
  const auto open_missing = []() -> SysResult<int> {
    const int fd = open("/nonexistent-folder-of-ostrel/x", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SysError::FromErrno("open the file");
    return fd;
  };
  const SysResult<int> opened = open_missing();
  ASSERT_FALSE(opened.ok());
  EXPECT_TRUE(opened.error().Is(ENOENT));
  EXPECT_EQ(opened.error().Errno(), ENOENT);
  EXPECT_STREQ(opened.error().doing, "open the file");
  EXPECT_EQ(opened.error().Reason(), std::strerror(ENOENT));

  const SysResult<std::string> value = std::string("text");
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(value.value(), "text");
  EXPECT_EQ(value.error().Errno(), 0);
  EXPECT_TRUE(SysResult<>().ok());
}

// A failure is never taken for success, even where the call left errno at 0.
TEST(SysResult, AFailureWithoutAnErrnoValueIsStillAFailure) {
  const SysResult<> failed = SysError::Of(0, "write");
  EXPECT_FALSE(failed.ok());
  EXPECT_TRUE(failed.error().Is(EIO));
}

// A reason of a room's own is told apart from the errno value of the same number, and reads as
// its own text.
TEST(SysResult, ARoomsOwnReasonIsNoErrnoValue) {
  static const char* const kTexts[] = {"the file changed meanwhile", "not a regular file"};
  static const ReasonCategory kOwn("test", kTexts);
  const SysError changed{.code = std::error_code(1, kOwn), .doing = "swap the names"};
  EXPECT_EQ(changed.Errno(), 0);
  EXPECT_FALSE(changed.Is(1));
  EXPECT_EQ(changed.Reason(), "the file changed meanwhile");
  EXPECT_EQ(SysError{.code = std::error_code(2, kOwn)}.Reason(), "not a regular file");
  EXPECT_NE(changed.code, SysError::Of(1, "swap the names").code);
}

// Memory that cannot be had becomes ENOMEM, and a failure of the work itself passes as it is.
TEST(SysResult, RunningOutOfMemoryIsAFailureLikeAnyOther) {
  const SysResult<> ran = CatchNoMemory("grow", [] { throw std::bad_alloc(); });
  EXPECT_TRUE(ran.error().Is(ENOMEM));
  EXPECT_STREQ(ran.error().doing, "grow");
  EXPECT_TRUE(CatchNoMemory("grow", [] {}).ok());
  const SysResult<> failed =
      CatchNoMemory("grow", [] { return SysResult<>(SysError::Of(ENOSPC, "write")); });
  EXPECT_TRUE(failed.error().Is(ENOSPC));
  EXPECT_STREQ(failed.error().doing, "write");
}

}  // namespace
}  // namespace ostrel
