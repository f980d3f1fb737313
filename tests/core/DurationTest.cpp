// Duration texts, character swapping and the time separator.
#include <gtest/gtest.h>

#include "IsolatedEnvironment.h"
#include "core/clsKVOR.h"
#include "platform/TimeSeparator.h"

using namespace std::chrono;
using qv::clsKVOR;

namespace {

const clsKVOR::DateTime kStart = sys_days{2024y / March / 9} + 21h + 15min;

class Duration : public ::testing::Test {
protected:
    std::string span(seconds length, const std::string& format) {
        return kvor_.GetDuration(kStart, kStart + length, format);
    }
    qv::test::IsolatedEnvironment env_;  // C locale: the separator is ":"
    clsKVOR kvor_;
};

TEST_F(Duration, EveryFormatForOneDayTwoHoursThreeMinutesFourSeconds) {
    const seconds length = 24h + 2h + 3min + 4s;
    EXPECT_EQ(span(length, "D H"), "1 Day 2 Hours");
    EXPECT_EQ(span(length, "D H M"), "1 Day 2 Hours 3 Minutes");
    EXPECT_EQ(span(length, "D H M S"), "1 Day 2 Hours 3 Minutes 4 Seconds");
    EXPECT_EQ(span(length, "D H:MM"), "1 Day 2:03");
    EXPECT_EQ(span(length, "D HH:MM"), "1 Day 02:03");
    EXPECT_EQ(span(length, "D HH:MM:SS"), "1 Day 02:03:04");
    EXPECT_EQ(span(length, "H M"), "26 Hours 3 Minutes");
    EXPECT_EQ(span(length, "H:MM"), "26:03");
    EXPECT_EQ(span(length, "H:MM:SS"), "26:03:04");
    EXPECT_EQ(span(length, "M S"), "1563 Minutes 4 Seconds");
    EXPECT_EQ(span(length, "M:SS"), "1563:04");
}

TEST_F(Duration, RoundingRulesAndTheirEdges) {
    EXPECT_EQ(span(45s, "D H M"), "0 Days 0 Hours 1 Minute");
    EXPECT_EQ(span(45s, "M:SS"), "0:45");
    EXPECT_EQ(span(1h + 30min + 40s, "D H"), "0 Days 1 Hour");  // 30 minutes do not round up
    EXPECT_EQ(span(1h + 31min, "D H"), "0 Days 2 Hours");
    EXPECT_EQ(span(1h + 30min + 40s, "H:MM"), "1:31");
    EXPECT_EQ(span(1h + 30min + 30s, "H:MM"), "1:30");          // 30 seconds do not round up
    EXPECT_EQ(span(23h + 45min, "D H"), "0 Days 24 Hours");
    EXPECT_EQ(span(1h + 59min + 45s, "H:MM"), "1:60");          // minutes rounded, hours not carried
    EXPECT_EQ(span(1h + 59min + 45s, "D HH:MM"), "0 Days 01:60");
    EXPECT_EQ(span(17min, "H:MM:SS"), "0:17:00");
    EXPECT_EQ(span(24h, "D H M S"), "1 Day 0 Hours 0 Minutes 0 Seconds");
    EXPECT_EQ(span(48h + 1h + 1min + 1s, "D H M S"), "2 Days 1 Hour 1 Minute 1 Second");
    EXPECT_EQ(span(0s, "D H"), "0 Days 0 Hours");
    EXPECT_EQ(span(61s, "M S"), "1 Minute 1 Second");
    EXPECT_EQ(span(3600s + 59s, "H M"), "1 Hour 1 Minute");
}

TEST_F(Duration, FormatNamesAreExact) {
    EXPECT_EQ(span(17min, "h:mm:ss"), "");
    EXPECT_EQ(span(17min, "H:MM:SS "), "");
    EXPECT_EQ(span(17min, ""), "");
}

TEST_F(Duration, ANegativeSpanSplitsWithFloorDivision) {
    // -45 s is one day back plus 23:59:15.
    EXPECT_EQ(kvor_.GetDuration(kStart + 45s, kStart, "D H M S"), "-1 Days 23 Hours 59 Minutes 15 Seconds");
    EXPECT_EQ(kvor_.GetDuration(kStart + 45s, kStart, "H:MM:SS"), "-1:59:15");
    EXPECT_EQ(kvor_.GetDuration(kStart + 45s, kStart, "M:SS"), "-1:15");
    EXPECT_EQ(kvor_.GetDuration(kStart + 45s, kStart, "D HH:MM:SS"), "-1 Days 23:59:15");
}

TEST_F(Duration, CountsWholeSecondsBetweenTheTwoMoments) {
    // 10.9 s to 11.1 s crosses one second boundary.
    EXPECT_EQ(kvor_.GetDuration(kStart + 10900ms, kStart + 11100ms, "M:SS"), "0:01");
    EXPECT_EQ(kvor_.GetDuration(kStart + 10100ms, kStart + 10900ms, "M:SS"), "0:00");
}

TEST(TimeSeparator, ComesFromTheHourFieldOfTheTimeFormat) {
    using qv::platform::timeSeparatorOf;
    EXPECT_EQ(timeSeparatorOf("%H:%M:%S"), ":");
    EXPECT_EQ(timeSeparatorOf("%H.%M.%S"), ".");
    EXPECT_EQ(timeSeparatorOf("%I:%M:%S %p"), ":");
    EXPECT_EQ(timeSeparatorOf("%k h %M"), " h ");
    EXPECT_EQ(timeSeparatorOf("%OH:%OM"), ":");
    EXPECT_EQ(timeSeparatorOf("%T"), ":");
    EXPECT_EQ(timeSeparatorOf("%p %I時%M分"), "時");
    EXPECT_EQ(timeSeparatorOf("%H"), "");
    EXPECT_EQ(timeSeparatorOf(""), "");
    EXPECT_EQ(timeSeparatorOf("%H<- a very long separator ->%M"), "<- a very");  // at most 9 characters
}

TEST(SwapChar, ReplacesEveryMatchingCharacter) {
    clsKVOR kvor;
    EXPECT_EQ(kvor.SwapChar("a,b,,c", ",", ";"), "a;b;;c");
    EXPECT_EQ(kvor.SwapChar("a,b", ",", "<comma>"), "a<comma>b");  // every match grows the text
    EXPECT_EQ(kvor.SwapChar("a,b", ",", ""), "ab");
    EXPECT_EQ(kvor.SwapChar("Aa", "a", "x"), "Ax");                 // exact comparison
    EXPECT_EQ(kvor.SwapChar("", ",", ";"), "");
    EXPECT_EQ(kvor.SwapChar("a,b", ",b", "x"), "a,b");              // not one character: no match
    EXPECT_EQ(kvor.SwapChar("a,b", "", "x"), "a,b");
    EXPECT_EQ(kvor.SwapChar("café crème", "é", "e"), "cafe crème");  // whole UTF-8 characters
    EXPECT_EQ(kvor.SwapChar("\xc3", "\xc3", "?"), "?");              // a stray byte is a character

    const std::string big(40000, '.');  // longer than a 16-bit position counter allows
    EXPECT_EQ(kvor.SwapChar(big, ".", "-"), std::string(40000, '-'));
}

}  // namespace
