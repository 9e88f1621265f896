#include <gtest/gtest.h>

#include "rtl/clock.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

using namespace vcl;

namespace {
struct SettingsGuard {
    ~SettingsGuard() { ResetFormatSettings(); }
};
}  // namespace

TEST(Dates, EncodeDecodeRoundTrip) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2000, 3, 1), 36586);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
    struct Ymd { int y, m, d; };
    for (Ymd c : {Ymd{1, 1, 1}, Ymd{1600, 2, 29}, Ymd{1899, 12, 31}, Ymd{1900, 2, 28}, Ymd{2000, 2, 29},
                  Ymd{2024, 12, 31}, Ymd{9999, 12, 31}}) {
        int y, m, d;
        DecodeDate(EncodeDate(c.y, c.m, c.d), y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    }
    // Every day of a span that crosses 1899-12-30 and a century leap rule.
    for (int n = -800; n < 800; ++n) {
        int y, m, d;
        DecodeDate(n < 0 ? n - 0.5 : n + 0.5, y, m, d);  // noon of day n
        EXPECT_EQ(EncodeDate(y, m, d), n);
    }
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    try {
        EncodeDate(2024, 13, 1);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
}

TEST(Dates, TimeOfDayAndNegativeDates) {
    TDateTime t = EncodeTime(13, 45, 30, 250);
    int h, m, s, ms;
    DecodeTime(t, h, m, s, ms);
    EXPECT_EQ(h * 10000000 + m * 100000 + s * 1000 + ms, 134530250);
    // Before 1899-12-30 the time still counts forwards from the day: -1.25 is 1899-12-29 06:00.
    int y, mo, d;
    DecodeDate(-1.25, y, mo, d);
    DecodeTime(-1.25, h, m, s, ms);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 18991229);
    EXPECT_EQ(h, 6);
    // 23:59:59.9996 rounds to the next midnight instead of showing hour 24.
    DecodeDate(1.99999999999, y, mo, d);
    DecodeTime(1.99999999999, h, m, s, ms);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 6, 2)), 1);  // a Sunday
    EXPECT_EQ(DayOfWeek(0), 7);                       // 1899-12-30 was a Saturday
    EXPECT_EQ(DayOfWeek(-1), 6);
    EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31), 1), EncodeDate(2024, 2, 29));
    EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 15), -13), EncodeDate(2022, 12, 15));
    EXPECT_DOUBLE_EQ(DateOf(45000.75), 45000);
    EXPECT_NEAR(TimeOf(45000.75), 0.75, 1e-9);
}

TEST(DateText, DefaultsAndFormatCodes) {
    SettingsGuard g;
    TDateTime dt = EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 3, 42);
    EXPECT_EQ(DateToStr(dt), "07/03/2024");
    EXPECT_EQ(TimeToStr(dt), "09:05:03");
    EXPECT_EQ(DateTimeToStr(dt), "07/03/2024 09:05:03");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 7)), "07/03/2024");
    EXPECT_EQ(FormatDateTime("d/m/yy h:n:s.zzz", dt), "7/3/24 9:5:3.042");
    EXPECT_EQ(FormatDateTime("dddd d mmmm yyyy, ddd mmm", dt), "Thursday 7 March 2024, Thu Mar");
    EXPECT_EQ(FormatDateTime("hh:mm", dt), "09:05");  // m after h is minutes
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd", dt), "2024-03-07");
    EXPECT_EQ(FormatDateTime("h:nn am/pm", EncodeTime(15, 7, 0, 0)), "3:07 pm");
    EXPECT_EQ(FormatDateTime("hh AM/PM", EncodeTime(0, 0, 0, 0)), "12 AM");
    EXPECT_EQ(FormatDateTime("\"at\" hh 'o''clock'", dt), "at 09 oclock");
    FormatSettings().DateSeparator = '.';
    FormatSettings().TimeSeparator = '-';
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", dt), "07.03.2024 09-05");
}

TEST(DateText, ReadThroughSettings) {
    SettingsGuard g;
    TManualClock clock(0, EncodeDate(2026, 6, 1));
    SetClock(&clock);
    EXPECT_EQ(StrToDate("07/03/2024"), EncodeDate(2024, 3, 7));
    EXPECT_EQ(StrToDate(" 7/3/24 "), EncodeDate(2024, 3, 7));
    EXPECT_EQ(StrToDate("1/1/80"), EncodeDate(1980, 1, 1));  // two-digit years pivot at 50 years
    EXPECT_EQ(StrToDate("1/1/75"), EncodeDate(2075, 1, 1));
    EXPECT_EQ(StrToDate("5/6"), EncodeDate(2026, 6, 5));     // the current year
    FormatSettings().ShortDateFormat = "mm/dd/yyyy";
    EXPECT_EQ(StrToDate("03/07/2024"), EncodeDate(2024, 3, 7));
    FormatSettings().ShortDateFormat = "yyyy-mm-dd";
    FormatSettings().DateSeparator = '-';
    EXPECT_EQ(StrToDate("2024-03-07"), EncodeDate(2024, 3, 7));
    EXPECT_EQ(DateToStr(StrToDate("2024-03-07")), "2024-03-07");
    for (const char* bad : {"", "2024-02-30", "x", "2024-03-07 junk", "2024/03/07"}) {
        TDateTime d;
        EXPECT_FALSE(TryStrToDate(bad, d)) << bad;
    }
    try {
        StrToDate("x");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid date");
    }
    ResetFormatSettings();
    EXPECT_NEAR(StrToTime("13:45"), EncodeTime(13, 45, 0, 0), 1e-12);
    EXPECT_NEAR(StrToTime("1:02:03.5"), EncodeTime(1, 2, 3, 500), 1e-12);
    EXPECT_NEAR(StrToTime("12:30 am"), EncodeTime(0, 30, 0, 0), 1e-12);
    EXPECT_NEAR(StrToTime("3 PM"), EncodeTime(15, 0, 0, 0), 1e-12);
    EXPECT_THROW(StrToTime("25:00"), EConvertError);
    EXPECT_THROW(StrToTime("13"), EConvertError);
    EXPECT_NEAR(StrToDateTime("07/03/2024 09:05:03"), EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 3, 0), 1e-9);
    TDateTime before = StrToDateTime("29/12/1899 06:00");
    EXPECT_NEAR(before, -1.25, 1e-9);
    try {
        StrToDateTime("07/03/2024 xx");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'07/03/2024 xx' is not a valid date and time");
    }
    // Text round trip through the settings for a range of values.
    for (int n = -1000; n < 60000; n += 997) {
        TDateTime dt = n + EncodeTime(n % 24 < 0 ? -(n % 24) : n % 24, 17, 42, 0) * (n < 0 ? -1 : 1);
        EXPECT_NEAR(StrToDateTime(DateTimeToStr(dt)), dt, 1e-8) << n;
    }
    SetClock(nullptr);
}

TEST(ClockTest, ManualClockDrivesNowAndHook) {
    TManualClock clock(5000, EncodeDate(2024, 1, 1) + 0.5);
    int calls = 0;
    SetClockAdvanceHook([&] { ++calls; });
    SetClock(&clock);
    EXPECT_EQ(GetTickCount(), 5000u);
    EXPECT_EQ(Date(), EncodeDate(2024, 1, 1));
    clock.Advance(1500);
    EXPECT_EQ(GetTickCount(), 6500u);
    EXPECT_EQ(calls, 1);
    EXPECT_NEAR(Time(), 0.5 + 1500 / MSecsPerDay, 1e-9);
    EXPECT_NEAR(Now(), EncodeDate(2024, 1, 1) + 0.5 + 1500 / MSecsPerDay, 1e-9);
    SetClock(nullptr);
    SetClockAdvanceHook(nullptr);
    clock.Advance(1);
    EXPECT_EQ(calls, 1);
    // The system clock: ticks move forwards, wall time is a plausible date.
    uint32_t t0 = GetTickCount();
    EXPECT_GE(GetTickCount() - t0, 0u);
    EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
}

TEST(ExceptionsTest, AbortIsSilentException) {
    EXPECT_THROW(Abort(), EAbort);
    try {
        throw EDBEngineError(8705, "At beginning of table");
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(static_cast<const EDBEngineError&>(e).ErrorCode(), 8705);
    }
}
