// Writing the default settings file when it is missing.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

TEST(DefaultSettings, WrittenWholeWhenMissing) {
  Sandbox box;
  const auto r = box.Run({.input = "q\nq\n"});
  ExpectEnded(r);
  EXPECT_NE(r.out.find("Making RC file: .vazaru_da\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Cannot make RC file"), std::string::npos);
  EXPECT_EQ(r.File(".vazaru_da"), DefaultSettingsText());
}

// A default file cut short by a full disk would hold a prefix of a value (max_char=2, say)
// that the next start takes: it is removed and reported instead. The file-size limit lets the
// first bytes of standard output through, enough for the start-up messages.
TEST(DefaultSettings, FileCutShortIsRemovedAndReported) {
  for (const rlim_t limit : {100, 540}) {
    SCOPED_TRACE(limit);
    Sandbox box;
    const auto r = box.Run({.input = "q\nq\n", .in_child = [limit] {
                              signal(SIGXFSZ, SIG_IGN);
                              const rlimit lim{limit, limit};
                              setrlimit(RLIMIT_FSIZE, &lim);
                            }});
    // A limit below the run's output stops the view too, which is told as it ends the run.
    const bool output_stopped = r.out.size() == limit;
    ExpectEnded(r, output_stopped ? 1 : 0,
                output_stopped ? "ostrel: cannot write the view: File too large\n" : "");
    EXPECT_EQ(r.out.rfind("Ostrel line editor " OSTREL_VERSION
                          "\nMaking RC file: .vazaru_da\nCannot make RC file\n",
                          0),
              0u);
    EXPECT_FALSE(r.File(".vazaru_da").has_value());
    // The next start makes the whole file.
    const auto again = box.Run({.input = "q\nq\n"});
    EXPECT_NE(again.out.find("Making RC file: .vazaru_da\n"), std::string::npos);
    EXPECT_EQ(again.out.find("Cannot make RC file"), std::string::npos);
    EXPECT_EQ(again.File(".vazaru_da"), DefaultSettingsText());
  }
}

}  // namespace
}  // namespace ostrel::e2e
