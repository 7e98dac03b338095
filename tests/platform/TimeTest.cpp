#include <gtest/gtest.h>

#include "platform/Time.h"

using namespace platform;

TEST(Time, CalendarConversions) {
  EXPECT_EQ(DateTimeToFileTime({1601, 1, 1, 0, 0, 0, 0}), 0);
  EXPECT_EQ(DateTimeToFileTime({1970, 1, 1, 0, 0, 0, 0}), 116444736000000000LL);
  for (const LocalDateTime& t : {LocalDateTime{2000, 2, 29, 12, 34, 56, 789}, LocalDateTime{2107, 12, 31, 23, 59, 59, 999},
                                 LocalDateTime{1900, 3, 1, 0, 0, 1, 0}}) {
    LocalDateTime back = FileTimeToDateTime(DateTimeToFileTime(t));
    EXPECT_EQ(back.year, t.year);
    EXPECT_EQ(back.month, t.month);
    EXPECT_EQ(back.day, t.day);
    EXPECT_EQ(back.hour, t.hour);
    EXPECT_EQ(back.minute, t.minute);
    EXPECT_EQ(back.second, t.second);
    EXPECT_EQ(back.millisecond, t.millisecond);
  }
  // One day after 1999-12-31 is 2000-01-01.
  LocalDateTime next = FileTimeToDateTime(DateTimeToFileTime({1999, 12, 31, 0, 0, 0, 0}) + 864000000000LL);
  EXPECT_EQ(next.year, 2000);
  EXPECT_EQ(next.month, 1);
  EXPECT_EQ(next.day, 1);
}

TEST(Time, DosDateTime) {
  std::uint16_t date = 0, time = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(DateTimeToFileTime({2024, 6, 15, 13, 45, 31, 500}), date, time));
  EXPECT_EQ(date, ((2024 - 1980) << 9) | (6 << 5) | 15);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);  // seconds halved, odd second dropped
  std::int64_t ft = 0;
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, ft));
  EXPECT_EQ(ft, DateTimeToFileTime({2024, 6, 15, 13, 45, 30, 0}));

  EXPECT_FALSE(FileTimeToDosDateTime(DateTimeToFileTime({1979, 12, 31, 23, 59, 59, 0}), date, time));
  EXPECT_FALSE(FileTimeToDosDateTime(DateTimeToFileTime({2108, 1, 1, 0, 0, 0, 0}), date, time));
  EXPECT_TRUE(FileTimeToDosDateTime(DateTimeToFileTime({2107, 12, 31, 23, 59, 58, 0}), date, time));
  EXPECT_FALSE(DosDateTimeToFileTime(0, 0, ft));                       // month 0
  EXPECT_FALSE(DosDateTimeToFileTime((1 << 5) | 1, 24 << 11, ft));     // hour 24
  EXPECT_FALSE(DosDateTimeToFileTime((21 << 9) | (2 << 5) | 29, 0, ft));  // 2001-02-29
  EXPECT_TRUE(DosDateTimeToFileTime((20 << 9) | (2 << 5) | 29, 0, ft));   // 2000-02-29
}

TEST(Time, ClockAndZones) {
  const std::int64_t now = NowFileTimeUtc();
  EXPECT_GT(now, DateTimeToFileTime({2020, 1, 1, 0, 0, 0, 0}));
  // Local and UTC differ by at most a day and convert back.
  const std::int64_t local = FileTimeUtcToLocal(now);
  EXPECT_LE(std::llabs(local - now), 864000000000LL);
  EXPECT_EQ(FileTimeLocalToUtc(local), now);
  LocalDateTime l = NowLocal();
  EXPECT_GE(l.year, 2020);
  EXPECT_LE(std::llabs(DateTimeToFileTime(l) - local), 600000000LL);  // within a minute
}
