// Tests of the clock seam: a moment in the time zone TZ names, not in UTC.
#include "sys/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// In a child process (a death test): TZ is the process's own.
TEST(Clock, LocalTimeIsTheTimeZones) {
    EXPECT_EXIT(
        {
            // 1971-01-01 01:00:00 UTC; "XYZ-2" is two hours east of UTC.
            const std::time_t moment = 365 * 86400 + 3600;
            ::setenv("TZ", "XYZ-2", 1);
            ::tzset();
            const std::tm local = LocalTime(moment);
            if (local.tm_year != 71 || local.tm_mon != 0 || local.tm_mday != 1) std::_Exit(10);
            if (local.tm_hour != 3 || local.tm_min != 0 || local.tm_sec != 0) std::_Exit(11);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
