// Checks that many end-to-end tests make of a run.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

namespace ostrel::e2e {

// The run ended by itself (no timeout) with exit status `status`, having written `err` (by
// default nothing) on standard error.
inline void ExpectEnded(const RunResult& r, int status = 0, const std::string& err = "") {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.err, err);
  EXPECT_EQ(r.status, status);
}

}  // namespace ostrel::e2e
