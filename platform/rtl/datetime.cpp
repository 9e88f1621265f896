// TDateTime arithmetic, the format settings and date/time text.
#include "rtl/datetime.h"

#include <cmath>
#include <cstdio>

#include "rtl/clock.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vcl {

namespace {
const int kDaysBefore[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// A date-time split into a calendar day (days since 1899-12-30; negative dates count the time
// forwards from their day, as the platform does) and milliseconds into the day.
struct Stamp {
    long long day;
    int ms;
};

Stamp ToStamp(TDateTime dt) {
    double ip = std::trunc(dt);
    double frac = std::fabs(dt - ip);
    long long ms = (long long)std::nearbyint(frac * MSecsPerDay);
    long long day = (long long)ip;
    if (ms >= (long long)MSecsPerDay) {
        ms -= (long long)MSecsPerDay;
        day += 1;
    }
    return {day, int(ms)};
}

// The calendar day of a day number (days since 1899-12-30).
void CivilFromDays(long long days, int& y, int& m, int& d) {
    long long z = days - 25569 + 719468;  // shift to 0000-03-01
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long yy = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yy + (m <= 2 ? 1 : 0));
}

// Combines a date and a time of day the way the platform does for dates before 1899-12-30.
TDateTime Compose(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}
}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    const int* t = kDaysBefore[IsLeapYear(year) ? 1 : 0];
    return t[month] - t[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int min, int sec, int msec) {
    return hour >= 0 && hour < 24 && min >= 0 && min < 60 && sec >= 0 && sec < 60 && msec >= 0 &&
           msec < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (!IsValidDate(year, month, day)) return false;
    long long i = year - 1;
    long long days = i * 365 + i / 4 - i / 100 + i / 400 + kDaysBefore[IsLeapYear(year) ? 1 : 0][month - 1] +
                     day - DateDelta;
    out = double(days);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    if (!IsValidTime(hour, min, sec, msec)) throw EConvertError("Invalid argument to time encode");
    return (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / MSecsPerDay;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
    CivilFromDays(ToStamp(dt).day, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
    int ms = ToStamp(dt).ms;
    hour = ms / 3600000;
    min = ms / 60000 % 60;
    sec = ms / 1000 % 60;
    msec = ms % 1000;
}

int DayOfWeek(TDateTime dt) {
    long long d = ToStamp(dt).day + DateDelta;  // days since 0001-01-01 plus one (a Monday is 1)
    return int(((d % 7) + 7) % 7) + 1;
}

TDateTime DateOf(TDateTime dt) { return double(ToStamp(dt).day); }

TDateTime TimeOf(TDateTime dt) { return ToStamp(dt).ms / MSecsPerDay; }

TDateTime IncMonth(TDateTime dt, int months) {
    int y, m, d;
    DecodeDate(dt, y, m, d);
    long long total = (long long)y * 12 + (m - 1) + months;
    int ny = int(total >= 0 ? total / 12 : (total - 11) / 12);
    int nm = int(total - (long long)ny * 12) + 1;
    int dim = DaysInMonth(ny, nm);
    if (d > dim) d = dim;
    return Compose(EncodeDate(ny, nm, d), TimeOf(dt));
}

// ---- format settings ----

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

void ResetFormatSettings() { FormatSettings() = TFormatSettings(); }

// ---- formatting ----

namespace {
void AppendNum(std::string& out, int v, int width) {
    char buf[16];
    snprintf(buf, sizeof buf, "%0*d", width, v);
    out += buf;
}

bool StartsNoCase(std::string_view s, size_t i, std::string_view what) {
    return s.size() - i >= what.size() && SameText(s.substr(i, what.size()), what);
}

// True when the format has an am/pm marker, which makes 'h' a 12-hour clock.
bool HasAmPm(std::string_view f) {
    for (size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c == '"' || c == '\'') {
            size_t e = f.find(c, i + 1);
            if (e == std::string_view::npos) return false;
            i = e;
            continue;
        }
        if (StartsNoCase(f, i, "am/pm") || StartsNoCase(f, i, "a/p") || StartsNoCase(f, i, "ampm"))
            return true;
    }
    return false;
}

void FormatInto(std::string& out, std::string_view f, TDateTime dt, int depth) {
    const TFormatSettings& fs = FormatSettings();
    int y, mo, d, h, mi, s, ms;
    DecodeDate(dt, y, mo, d);
    DecodeTime(dt, h, mi, s, ms);
    bool twelve = HasAmPm(f);
    bool lastWasHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < f.size() && UpCase(f[i + n]) == c) ++n;
        return n;
    };
    while (i < f.size()) {
        char c = f[i];
        char u = UpCase(c);
        if (c == '"' || c == '\'') {
            size_t e = f.find(c, i + 1);
            if (e == std::string_view::npos) e = f.size();
            out.append(f.substr(i + 1, e - i - 1));
            i = e < f.size() ? e + 1 : e;
            continue;
        }
        if (StartsNoCase(f, i, "am/pm")) {
            if (c == 'A') out += h < 12 ? "AM" : "PM";
            else out += h < 12 ? "am" : "pm";
            i += 5;
            lastWasHour = false;
            continue;
        }
        if (StartsNoCase(f, i, "a/p")) {
            char a = h < 12 ? 'a' : 'p';
            out += c == 'A' ? UpCase(a) : a;
            i += 3;
            lastWasHour = false;
            continue;
        }
        if (StartsNoCase(f, i, "ampm")) {
            out += h < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
            lastWasHour = false;
            continue;
        }
        int hour12 = h % 12 == 0 ? 12 : h % 12;
        int hv = twelve ? hour12 : h;
        switch (u) {
        case 'Y': {
            size_t n = run('Y');
            if (n <= 2) AppendNum(out, y % 100, 2);
            else AppendNum(out, y, 4);
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'M': {
            size_t n = run('M');
            if (lastWasHour && n <= 2) {
                AppendNum(out, mi, n == 1 ? 1 : 2);
            } else if (n == 1) AppendNum(out, mo, 1);
            else if (n == 2) AppendNum(out, mo, 2);
            else if (n == 3) out += fs.ShortMonthNames[mo - 1];
            else out += fs.LongMonthNames[mo - 1];
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'D': {
            size_t n = run('D');
            int dow = DayOfWeek(dt) - 1;
            if (n == 1) AppendNum(out, d, 1);
            else if (n == 2) AppendNum(out, d, 2);
            else if (n == 3) out += fs.ShortDayNames[dow];
            else if (n == 4) out += fs.LongDayNames[dow];
            else if (depth < 2) FormatInto(out, n == 5 ? fs.ShortDateFormat : fs.LongDateFormat, dt, depth + 1);
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'C': {
            i += 1;
            if (depth < 2) {
                FormatInto(out, fs.ShortDateFormat, dt, depth + 1);
                if (h || mi || s || ms) {
                    out += ' ';
                    FormatInto(out, fs.LongTimeFormat, dt, depth + 1);
                }
            }
            lastWasHour = false;
            continue;
        }
        case 'T': {
            size_t n = run('T');
            if (depth < 2) FormatInto(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dt, depth + 1);
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'H': {
            size_t n = run('H');
            AppendNum(out, hv, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = true;
            continue;
        }
        case 'N': {
            size_t n = run('N');
            AppendNum(out, mi, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'S': {
            size_t n = run('S');
            AppendNum(out, s, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = false;
            continue;
        }
        case 'Z': {
            size_t n = run('Z');
            AppendNum(out, ms, n == 1 ? 1 : 3);
            i += n;
            lastWasHour = false;
            continue;
        }
        case '/':
            if (fs.DateSeparator) out += fs.DateSeparator;
            ++i;
            continue;
        case ':':
            if (fs.TimeSeparator) out += fs.TimeSeparator;
            ++i;
            continue;
        default:
            out += c;
            ++i;
            // Any other letter ends an hour run; separators do not ("hh:mm" is minutes).
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) lastWasHour = false;
            continue;
        }
    }
}
}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime dt) {
    std::string out;
    FormatInto(out, format.empty() ? std::string_view("c") : format, dt, 0);
    return out;
}

std::string DateToStr(TDateTime dt) { return FormatDateTime(FormatSettings().ShortDateFormat, dt); }
std::string TimeToStr(TDateTime dt) { return FormatDateTime(FormatSettings().LongTimeFormat, dt); }
std::string DateTimeToStr(TDateTime dt) { return FormatDateTime("c", dt); }

// ---- reading ----

namespace {
struct Scanner {
    std::string_view s;
    size_t i = 0;
    void Blanks() {
        while (i < s.size() && s[i] == ' ') ++i;
    }
    bool Number(int& v, int& digits) {
        Blanks();
        size_t st = i;
        long long r = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - st < 9) r = r * 10 + (s[i++] - '0');
        digits = int(i - st);
        if (digits == 0) return false;
        if (i < s.size() && s[i] >= '0' && s[i] <= '9') return false;  // absurdly long
        v = int(r);
        return true;
    }
    bool Char(char c) {
        Blanks();
        if (c && i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        Blanks();
        return i >= s.size();
    }
};

enum class Order { DMY, MDY, YMD };

Order DateOrder() {
    for (char c : FormatSettings().ShortDateFormat) {
        char u = UpCase(c);
        if (u == 'D') return Order::DMY;
        if (u == 'M') return Order::MDY;
        if (u == 'Y') return Order::YMD;
    }
    return Order::DMY;
}

int CurrentYear() {
    int y, m, d;
    DecodeDate(Clock().WallTime(), y, m, d);
    return y;
}

// Two-digit years fall within the 50 years before the current year and the 49 after.
int ExpandYear(int y) {
    int cur = CurrentYear();
    int century = cur - 50;
    int r = y + (century / 100) * 100;
    if (r < century) r += 100;
    return r;
}

bool ScanDate(Scanner& sc, TDateTime& out) {
    char sep = FormatSettings().DateSeparator;
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!sc.Number(n1, l1)) return false;
    if (!sc.Char(sep)) return false;
    if (!sc.Number(n2, l2)) return false;
    bool three = false;
    if (sc.Char(sep)) {
        if (!sc.Number(n3, l3)) return false;
        three = true;
    }
    int y, m, d;
    Order o = DateOrder();
    if (!three) {
        y = CurrentYear();
        l3 = 4;
        if (o == Order::MDY) { m = n1; d = n2; }
        else if (o == Order::YMD) { m = n1; d = n2; }
        else { d = n1; m = n2; }
    } else if (o == Order::DMY) {
        d = n1; m = n2; y = n3;
    } else if (o == Order::MDY) {
        m = n1; d = n2; y = n3;
    } else {
        y = n1; m = n2; d = n3;
        l3 = l1;
    }
    if (l3 <= 2) y = ExpandYear(y);
    return TryEncodeDate(y, m, d, out);
}

bool ScanAmPm(Scanner& sc, int& which) {
    sc.Blanks();
    const TFormatSettings& fs = FormatSettings();
    std::string_view rest = sc.s.substr(sc.i);
    const std::string_view cands[] = {fs.TimeAMString, fs.TimePMString, "AM", "PM", "A", "P"};
    const int kinds[] = {0, 1, 0, 1, 0, 1};
    for (int k = 0; k < 6; ++k) {
        if (!cands[k].empty() && rest.size() >= cands[k].size() &&
            SameText(rest.substr(0, cands[k].size()), cands[k])) {
            sc.i += cands[k].size();
            which = kinds[k];
            return true;
        }
    }
    return false;
}

bool ScanTime(Scanner& sc, TDateTime& out) {
    const TFormatSettings& fs = FormatSettings();
    int h, mi = 0, s = 0, ms = 0, l;
    if (!sc.Number(h, l)) return false;
    bool haveMin = false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(mi, l)) return false;
        haveMin = true;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(s, l)) return false;
            if (sc.Char(fs.DecimalSeparator)) {
                if (!sc.Number(ms, l)) return false;
                // ".5" is half a second
                while (l < 3) { ms *= 10; ++l; }
                while (l > 3) { ms /= 10; --l; }
            }
        }
    }
    int ampm = -1;
    if (!ScanAmPm(sc, ampm)) ampm = -1;
    if (!haveMin && ampm < 0) return false;
    if (ampm >= 0) {
        if (h < 1 || h > 12) return false;
        if (h == 12) h = 0;
        if (ampm == 1) h += 12;
    }
    if (!IsValidTime(h, mi, s, ms)) return false;
    out = EncodeTime(h, mi, s, ms);
    return true;
}
}  // namespace

bool TryStrToDate(std::string_view s, TDateTime& out) {
    Scanner sc{s};
    TDateTime d;
    if (!ScanDate(sc, d) || !sc.AtEnd()) return false;
    out = d;
    return true;
}

bool TryStrToTime(std::string_view s, TDateTime& out) {
    Scanner sc{s};
    TDateTime t;
    if (!ScanTime(sc, t) || !sc.AtEnd()) return false;
    out = t;
    return true;
}

TDateTime StrToDate(std::string_view s) {
    TDateTime r;
    if (!TryStrToDate(s, r)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
    return r;
}

TDateTime StrToTime(std::string_view s) {
    TDateTime r;
    if (!TryStrToTime(s, r)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
    return r;
}

TDateTime StrToDateTime(std::string_view s) {
    Scanner sc{s};
    TDateTime d = 0, t = 0;
    bool ok = false;
    if (ScanDate(sc, d)) {
        if (sc.AtEnd()) ok = true;
        else ok = ScanTime(sc, t) && sc.AtEnd();
    } else {
        Scanner st{s};
        ok = ScanTime(st, t) && st.AtEnd();
        d = 0;
    }
    if (!ok) throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
    return Compose(d, t);
}

// ---- the clock ----

TDateTime Now() { return Clock().WallTime(); }
TDateTime Date() { return DateOf(Clock().WallTime()); }
TDateTime Time() { return TimeOf(Clock().WallTime()); }

}  // namespace vcl
