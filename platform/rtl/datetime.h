// TDateTime: days since 1899-12-30, the fraction is the time of day.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vcl {

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;
constexpr int DateDelta = 693594;  // days between 0001-01-01 and 1899-12-30

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int min, int sec, int msec);
// Raise EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday ... 7 = Saturday
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);
TDateTime IncMonth(TDateTime dt, int months);

// Process-wide format settings. Defaults: ShortDateFormat "dd/mm/yyyy", DateSeparator '/',
// LongTimeFormat "hh:nn:ss", ShortTimeFormat "hh:nn", TimeSeparator ':', DecimalSeparator '.'.
struct TFormatSettings {
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongDateFormat = "dddd, d mmmm yyyy";
    char DateSeparator = '/';
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string LongMonthNames[12] = {"January", "February", "March",     "April",
                                      "May",     "June",     "July",      "August",
                                      "September", "October", "November", "December"};
    std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
};
TFormatSettings& FormatSettings();
void ResetFormatSettings();

// Format codes: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz am/pm ampm / : and
// quoted literals. '/' and ':' print the separators of the settings.
std::string FormatDateTime(std::string_view format, TDateTime dt);
std::string DateToStr(TDateTime dt);
std::string TimeToStr(TDateTime dt);
std::string DateTimeToStr(TDateTime dt);  // date, then the time when it is not midnight
// Read in the order of ShortDateFormat; two-digit years pivot at 50 years; raise EConvertError
// "'x' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(std::string_view s);
TDateTime StrToTime(std::string_view s);
TDateTime StrToDateTime(std::string_view s);
bool TryStrToDate(std::string_view s, TDateTime& out);
bool TryStrToTime(std::string_view s, TDateTime& out);

// Now and Date come from the platform clock (see clock.h).
TDateTime Now();
TDateTime Date();
TDateTime Time();

}  // namespace vcl
