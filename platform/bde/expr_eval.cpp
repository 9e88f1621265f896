// Evaluation of compiled expressions: one switch over the node kinds, values in the nodes' own
// slots, no allocation once the slots' buffers have grown to their working size.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bde/dbftable.h"
#include "bde/expr_impl.h"
#include "rtl/datetime.h"

namespace bde {

int32_t JulianOfDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || !IsValidCalendarDate(year, month, day)) return 0;
    int a = (14 - month) / 12;
    int y = year + 4800 - a;
    int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

TDbfDate DateOfJulian(int32_t julian) {
    if (julian < 1721426 || julian > 5373484) return {};
    int a = julian + 32044;
    int b = (4 * a + 3) / 146097;
    int c = a - 146097 * b / 4;
    int d = (4 * c + 3) / 1461;
    int e = c - 1461 * d / 4;
    int m = (5 * e + 2) / 153;
    return {100 * b + d - 4800 + m / 10, m + 3 - 12 * (m / 10), e - (153 * m + 2) / 5 + 1};
}

}  // namespace bde

namespace bde::exprimpl {

namespace {

constexpr int32_t kJulianMin = 1721426, kJulianMax = 5373484;
// The julian day number of 1899-12-30, day 0 of the rtl's TDateTime.
constexpr int32_t kJulianOfDateTimeZero = 2415019;

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

std::string_view Bytes(const uint8_t* p, size_t n) { return {reinterpret_cast<const char*>(p), n}; }

std::string_view TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
    return s.substr(0, n);
}

std::string_view TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}

// A double turned into a count or position without undefined conversions.
long Clamp(double v, long lo, long hi) {
    if (!(v == v)) return 0;
    if (v < double(lo)) return lo;
    if (v > double(hi)) return hi;
    return long(v);
}

// Results with no finite value (division by zero, overflow) read as 0, so every record has a
// value and keys stay comparable.
double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

int32_t CheckedJulian(double j) {
    if (!(j >= kJulianMin && j <= kJulianMax)) return 0;
    return int32_t(j);
}

// Half away from zero at `dec` decimals, tolerant of binary representation (2.675 -> 2.68).
double RoundHalfAway(double x, int dec) {
    dec = std::clamp(dec, -15, 15);
    double p = std::pow(10.0, dec);
    double y = x * p;
    if (!std::isfinite(y)) return x;
    double a = std::fabs(y);
    double f = std::floor(a);
    if (a - f >= 0.5 - a * 1e-13) f += 1;
    double r = f / p;
    return y < 0 ? -r : r;
}

double ParseNumber(std::string_view s) {
    s = TrimLeft(TrimRight(s));
    if (s.empty()) return 0;
    if (s[0] == '+') s.remove_prefix(1);
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc()) return 0;
    return Finite(v);
}

// VAL: leading blanks, a sign, digits with one decimal point; stops at anything else.
double ValOf(std::string_view s) {
    s = TrimLeft(s);
    char buf[400];
    size_t k = 0, i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') buf[k++] = '-';
        ++i;
    }
    buf[k++] = '0';  // so that ".5" reads
    bool dot = false, digits = false;
    for (; i < s.size() && k < sizeof buf; ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
        buf[k++] = c;
    }
    if (!digits) return 0;
    double v = 0;
    std::from_chars(buf, buf + k, v);
    return Finite(v);
}

int32_t ParseDateField(std::string_view raw) {
    if (raw.size() != 8) return 0;
    int v[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    size_t p = 0;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < widths[k]; ++i, ++p) {
            char c = raw[p];
            if (c < '0' || c > '9') return 0;
            v[k] = v[k] * 10 + (c - '0');
        }
    }
    return JulianOfDate(v[0], v[1], v[2]);
}

void PutDigits(std::string& out, int value, int width) {
    char tmp[16];
    std::snprintf(tmp, sizeof tmp, "%0*d", width, value);
    out.append(tmp + std::max(0, int(std::strlen(tmp)) - width));
}

void FormatDate(std::string& out, int32_t jul, const Program& prog) {
    TDbfDate d = DateOfJulian(jul);
    for (const DatePart& p : prog.dateFormat) {
        int width = p.kind == 'Y' ? 4 : 2;
        if (p.kind == 'l') {
            out += p.literal;
        } else if (jul == 0) {
            out.append(size_t(width), ' ');
        } else {
            PutDigits(out, p.kind == 'd' ? d.Day : p.kind == 'm' ? d.Month : d.Year % (p.kind == 'y' ? 100 : 10000), width);
        }
    }
}

int32_t ParseDateText(std::string_view s, const Program& prog) {
    int nums[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (i < s.size() && count < 3) {
        if (s[i] >= '0' && s[i] <= '9') {
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                if (digits[count] < 6) nums[count] = nums[count] * 10 + (s[i] - '0');
                ++digits[count];
                ++i;
            }
            ++count;
        } else {
            ++i;
        }
    }
    if (count != 3) return 0;
    int day = 0, month = 0, year = 0, yearDigits = 0, k = 0;
    for (const DatePart& p : prog.dateFormat) {
        if (p.kind == 'l' || k >= 3) continue;
        if (p.kind == 'd') day = nums[k];
        else if (p.kind == 'm') month = nums[k];
        else { year = nums[k]; yearDigits = digits[k]; }
        ++k;
    }
    if (yearDigits <= 2) {
        // Two-digit years fall within the 50 years before the current year and the 49 after.
        int base = prog.centuryBase;
        year = base - base % 100 + year;
        if (year < base) year += 100;
    }
    return JulianOfDate(year, month, day);
}

void FormatFixed(std::string& out, double v, int width, int dec, bool zeros) {
    width = std::clamp(width, 0, kMaxGenerated);
    dec = std::clamp(dec, 0, std::max(0, std::min(width - 1, 30)));
    if (dec > 0 && width <= dec + 1) dec = 0;
    v = RoundHalfAway(v, dec);
    char tmp[400];
    int n = std::snprintf(tmp, sizeof tmp, "%.*f", dec, v);
    if (n < 0 || n >= int(sizeof tmp) || n > width) {
        out.append(size_t(width), '*');
        return;
    }
    if (std::strcmp(tmp, "-0") == 0 || (tmp[0] == '-' && std::strspn(tmp + 1, "0.") == size_t(n - 1))) {
        std::memmove(tmp, tmp + 1, size_t(n));  // no negative zero
        --n;
    }
    if (zeros && tmp[0] == '-') {
        out += '-';
        out.append(size_t(width - n), '0');
        out.append(tmp + 1);
    } else {
        out.append(size_t(width - n), zeros ? '0' : ' ');
        out.append(tmp, size_t(n));
    }
}

void Soundex(std::string& out, std::string_view s) {
    static const char* codes = "01230120022455012623010202";  // A..Z
    s = TrimLeft(s);
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0])) || (s[0] & 0x80)) {
        out += "0000";
        return;
    }
    out += Fold(s[0]);
    char last = codes[Fold(s[0]) - 'A'];
    for (size_t i = 1; i < s.size() && out.size() < 4; ++i) {
        char c = Fold(s[i]);
        if (c < 'A' || c > 'Z') break;
        char code = codes[c - 'A'];
        if (c == 'H' || c == 'W') continue;  // they do not separate equal codes
        if (code != '0' && code != last) out += code;
        last = code;
    }
    out.append(4 - out.size(), '0');
}

// TRANSFORM of Character values: @! upper-cases; template characters 9 # A N X L Y ! take one
// character each (! upper-cases it), others are inserted.
void TransformText(std::string& out, std::string_view v, std::string_view pic) {
    bool upper = false;
    if (!pic.empty() && pic[0] == '@') {
        size_t sp = pic.find(' ');
        std::string_view fns = pic.substr(1, sp == std::string_view::npos ? pic.npos : sp - 1);
        for (char f : fns) upper = upper || f == '!';
        pic = sp == std::string_view::npos ? std::string_view() : pic.substr(sp + 1);
    }
    if (pic.empty()) {
        for (char c : v) out += upper ? Fold(c) : c;
        return;
    }
    size_t k = 0;
    for (char t : pic) {
        if (std::strchr("9#ANXLY!", t)) {
            char c = k < v.size() ? v[k] : ' ';
            ++k;
            out += (upper || t == '!') ? Fold(c) : c;
        } else {
            out += t;
        }
        if (out.size() >= size_t(kMaxGenerated)) break;
    }
}

// TRANSFORM of numbers: @Z blank when zero, @B left-justified, @( and @C/@X for negatives and
// credits; a template of 9 # , . (others inserted) sets width and decimals; without one the
// number shows as STR would with its known width and decimals.
void TransformNumber(std::string& out, double v, std::string_view pic, int width, int dec) {
    bool blankZero = false, left = false, paren = false, cr = false, db = false;
    if (!pic.empty() && pic[0] == '@') {
        size_t sp = pic.find(' ');
        std::string_view fns = pic.substr(1, sp == std::string_view::npos ? pic.npos : sp - 1);
        for (char f : fns) {
            switch (Fold(f)) {
                case 'Z': blankZero = true; break;
                case 'B': left = true; break;
                case '(': paren = true; break;
                case 'C': cr = true; break;
                case 'X': db = true; break;
            }
        }
        pic = sp == std::string_view::npos ? std::string_view() : pic.substr(sp + 1);
    }
    std::string body;
    bool negative = v < 0 && RoundHalfAway(v, 15) != 0;
    double shown = (paren || cr || db) ? std::fabs(v) : v;
    if (pic.empty()) {
        int w = width > 0 ? width : 10;
        FormatFixed(body, shown, w, width > 0 ? dec : 0, false);
    } else {
        size_t point = pic.find('.');
        int decs = 0;
        if (point != std::string_view::npos)
            for (size_t i = point + 1; i < pic.size() && (pic[i] == '9' || pic[i] == '#'); ++i) ++decs;
        int slots = 0;
        for (char c : pic) slots += (c == '9' || c == '#') ? 1 : 0;
        std::string digits;
        FormatFixed(digits, shown, slots + (decs ? 1 : 0) + (shown < 0 ? 1 : 0), decs, false);
        if (digits.find('*') != std::string::npos) {
            body.assign(pic.size(), '*');
        } else {
            // Fill the template from the right with the digits (and sign) of the number.
            std::string_view d = TrimLeft(digits);
            std::string_view intPart = d.substr(0, d.find('.'));
            std::string_view fracPart = d.find('.') == std::string_view::npos ? std::string_view() : d.substr(d.find('.') + 1);
            body.assign(pic.size(), ' ');
            size_t end = point == std::string_view::npos ? pic.size() : point;
            long ip = long(intPart.size()) - 1;
            for (long i = long(end) - 1; i >= 0; --i) {
                char t = pic[size_t(i)];
                if (t == '9' || t == '#') {
                    if (ip >= 0) body[size_t(i)] = intPart[size_t(ip--)];
                } else if (t == ',') {
                    body[size_t(i)] = (ip >= 0 && intPart[size_t(ip)] != '-') ? ',' : ' ';
                } else {
                    body[size_t(i)] = t;
                }
            }
            if (point != std::string_view::npos) {
                body[point] = '.';
                size_t fp = 0;
                for (size_t i = point + 1; i < pic.size(); ++i) {
                    char t = pic[i];
                    if (t == '9' || t == '#') body[i] = fp < fracPart.size() ? fracPart[fp++] : '0';
                    else body[i] = t;
                }
            }
        }
    }
    if (blankZero && RoundHalfAway(v, 15) == 0) body.assign(body.size(), ' ');
    if (left) {
        std::string_view t = TrimLeft(body);
        std::string moved(t);
        moved.append(body.size() - t.size(), ' ');
        body = moved;
    }
    if (paren && negative) {
        std::string_view t = TrimLeft(body);
        std::string wrapped(1, '(');
        wrapped.append(t.data(), t.size());
        wrapped += ')';
        body.swap(wrapped);
    }
    out += body;
    if (cr && negative) out += " CR";
    if (db && !negative && v != 0) out += " DB";
}

// Characters of a value that PAD* and TRANSFORM accept as any type.
void TextOf(std::string& out, const Node& a, const Program& prog) {
    switch (a.type) {
        case TExprType::Character: out.append(a.s); break;
        case TExprType::Numeric: FormatFixed(out, a.num, a.len > 0 ? a.len : 10, a.len > 0 ? a.dec : 0, false); break;
        case TExprType::Date: FormatDate(out, a.jul, prog); break;
        case TExprType::Logical: out += a.log ? 'T' : 'F'; break;
    }
}

void SetText(Node& n, std::string_view v) {
    n.buf.assign(v.data(), v.size());
    n.s = n.buf;
}

void Cut(Node& n) {
    if (n.buf.size() > size_t(kMaxGenerated)) n.buf.resize(size_t(kMaxGenerated));
    n.s = n.buf;
}

bool IsEmpty(const Node& a) {
    switch (a.type) {
        case TExprType::Character:
            for (char c : a.s)
                if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0') return false;
            return true;
        case TExprType::Numeric: return a.num == 0;
        case TExprType::Date: return a.jul == 0;
        case TExprType::Logical: return !a.log;
    }
    return true;
}

// Three-way comparison of two evaluated values of one type.
int CompareValues(const Node& a, const Node& b, bool prefix, bool fold) {
    switch (a.type) {
        case TExprType::Character: return CompareText(a.s, b.s, prefix, fold);
        case TExprType::Numeric: return a.num < b.num ? -1 : a.num > b.num ? 1 : 0;
        case TExprType::Date: return a.jul < b.jul ? -1 : a.jul > b.jul ? 1 : 0;
        case TExprType::Logical: return int(a.log) - int(b.log);
    }
    return 0;
}

size_t Find(std::string_view hay, std::string_view needle, bool fold, size_t from) {
    if (needle.empty() || needle.size() > hay.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && (fold ? Fold(hay[i + k]) == Fold(needle[k]) : hay[i + k] == needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

uint32_t MemoPointer(const Node& n, const uint8_t* rec) {
    const uint8_t* p = rec + n.off;
    if (n.binaryMemo) return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    std::string_view s = TrimLeft(TrimRight(Bytes(p, n.flen)));
    uint32_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
    return v;
}

void EvalFunc(Node& n, const Context& cx, const Program& prog) {
    Node* a = n.args[0];
    Node* b = n.args[1];
    Node* c = n.args[2];
    for (int i = 0; i < n.nargs && n.fn != Fn::Iif; ++i) Eval(*n.args[size_t(i)], cx, prog);
    switch (n.fn) {
        case Fn::Abs: n.num = std::fabs(a->num); break;
        case Fn::AllTrim: n.s = TrimLeft(TrimRight(a->s)); break;
        case Fn::LTrim: n.s = TrimLeft(a->s); break;
        case Fn::RTrim:
        case Fn::Trim: n.s = TrimRight(a->s); break;
        case Fn::Asc: n.num = a->s.empty() ? 0 : double(uint8_t(a->s[0])); break;
        case Fn::At: {
            long nth = c ? Clamp(c->num, 0, 1L << 30) : 1;
            size_t at = std::string_view::npos, from = 0;
            for (long k = 0; k < nth; ++k) {
                at = Find(b->s, a->s, false, from);
                if (at == std::string_view::npos) break;
                from = at + 1;
            }
            n.num = at == std::string_view::npos || nth < 1 ? 0 : double(at + 1);
            break;
        }
        case Fn::RAt: {
            size_t at = std::string_view::npos;
            if (!a->s.empty() && a->s.size() <= b->s.size()) at = b->s.rfind(a->s);
            n.num = at == std::string_view::npos ? 0 : double(at + 1);
            break;
        }
        case Fn::Chr: n.buf.assign(1, char(uint8_t(Clamp(a->num, 0, 1L << 30) & 0xFF))); n.s = n.buf; break;
        case Fn::CtoD: n.jul = ParseDateText(a->s, prog); break;
        case Fn::Date: {
            double days = std::floor(vcl::Date());
            n.jul = CheckedJulian(days + kJulianOfDateTimeZero);
            break;
        }
        case Fn::Time: {
            double now = vcl::Now();
            double frac = now - std::floor(now);
            long secs = Clamp(std::floor(frac * 86400.0 + 1e-6), 0, 86399);
            char tmp[40];
            std::snprintf(tmp, sizeof tmp, "%02d:%02d:%02d", int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
            SetText(n, tmp);
            break;
        }
        case Fn::Day: n.num = DateOfJulian(a->jul).Day; break;
        case Fn::Month: n.num = DateOfJulian(a->jul).Month; break;
        case Fn::Year: n.num = DateOfJulian(a->jul).Year; break;
        case Fn::Deleted: n.log = cx.rec && cx.rec[0] == '*'; break;
        case Fn::RecNo: n.num = cx.recNo; break;
        case Fn::Descend:
            switch (a->type) {
                case TExprType::Character:
                    // Padded first, so a shorter value still sorts after its longer extensions.
                    n.buf.assign(a->s.data(), a->s.size());
                    if (n.len > 0 && n.buf.size() < size_t(n.len)) n.buf.resize(size_t(n.len), ' ');
                    for (char& ch : n.buf) ch = char(255 - uint8_t(ch));
                    n.s = n.buf;
                    break;
                case TExprType::Numeric: n.num = -a->num; break;
                // The blank date, first in ascending order, comes last.
                case TExprType::Date: n.num = double(kJulianMax + 1 - a->jul); break;
                case TExprType::Logical: n.log = !a->log; break;
            }
            break;
        case Fn::DtoC: n.buf.clear(); FormatDate(n.buf, a->jul, prog); n.s = n.buf; break;
        case Fn::DtoS: {
            n.buf.clear();
            if (a->jul == 0) {
                n.buf.assign(8, ' ');
            } else {
                TDbfDate d = DateOfJulian(a->jul);
                PutDigits(n.buf, d.Year, 4);
                PutDigits(n.buf, d.Month, 2);
                PutDigits(n.buf, d.Day, 2);
            }
            n.s = n.buf;
            break;
        }
        case Fn::Empty: n.log = IsEmpty(*a); break;
        case Fn::Iif: {
            Eval(*a, cx, prog);
            Node* r = a->log ? b : c;
            Eval(*r, cx, prog);
            n.num = r->num;
            n.jul = r->jul;
            n.log = r->log;
            n.s = r->s;
            break;
        }
        case Fn::Int: n.num = std::trunc(a->num); break;
        case Fn::Round: n.num = Finite(RoundHalfAway(a->num, int(Clamp(b->num, -15, 15)))); break;
        case Fn::Left: n.s = a->s.substr(0, size_t(Clamp(b->num, 0, long(a->s.size())))); break;
        case Fn::Right: {
            size_t k = size_t(Clamp(b->num, 0, long(a->s.size())));
            n.s = a->s.substr(a->s.size() - k);
            break;
        }
        case Fn::SubStr: {
            long size = long(a->s.size());
            long start = Clamp(b->num, -(1L << 30), 1L << 30);
            if (start < 0) start = std::max(1L, size + start + 1);
            if (start == 0) start = 1;
            if (start > size) {
                n.s = std::string_view();
                break;
            }
            long count = c ? Clamp(c->num, 0, size) : size;
            n.s = a->s.substr(size_t(start - 1), size_t(std::min(count, size - start + 1)));
            break;
        }
        case Fn::Len: n.num = double(a->s.size()); break;
        case Fn::Lower:
        case Fn::Upper:
            n.buf.assign(a->s.data(), a->s.size());
            for (char& ch : n.buf) {
                if (n.fn == Fn::Upper) ch = Fold(ch);
                else if (ch >= 'A' && ch <= 'Z') ch = char(ch + 32);
            }
            n.s = n.buf;
            break;
        case Fn::Max:
        case Fn::Min: {
            int r = CompareValues(*a, *b, false, false);
            Node* w = (n.fn == Fn::Max) == (r >= 0) ? a : b;
            n.num = w->num;
            n.jul = w->jul;
            n.s = w->s;
            break;
        }
        case Fn::PadC:
        case Fn::PadL:
        case Fn::PadR: {
            n.buf.clear();
            TextOf(n.buf, *a, prog);
            size_t want = size_t(Clamp(b->num, 0, kMaxGenerated));
            char fill = c && !c->s.empty() ? c->s[0] : ' ';
            if (n.buf.size() >= want) {
                n.buf.resize(want);
            } else {
                size_t extra = want - n.buf.size();
                size_t before = n.fn == Fn::PadL ? extra : n.fn == Fn::PadC ? extra / 2 : 0;
                n.buf.insert(0, before, fill);
                n.buf.append(extra - before, fill);
            }
            n.s = n.buf;
            break;
        }
        case Fn::Replicate: {
            long times = Clamp(b->num, 0, kMaxGenerated);
            n.buf.clear();
            for (long k = 0; k < times && !a->s.empty() && n.buf.size() < size_t(kMaxGenerated); ++k) n.buf.append(a->s);
            Cut(n);
            break;
        }
        case Fn::Space: n.buf.assign(size_t(Clamp(a->num, 0, kMaxGenerated)), ' '); n.s = n.buf; break;
        case Fn::Soundex: n.buf.clear(); Soundex(n.buf, a->s); n.s = n.buf; break;
        case Fn::Str:
        case Fn::StrZero: {
            int width = b ? int(Clamp(b->num, 0, kMaxGenerated)) : 10;
            int dec = c ? int(Clamp(c->num, 0, 30)) : 0;
            n.buf.clear();
            FormatFixed(n.buf, a->num, width, dec, n.fn == Fn::StrZero);
            n.s = n.buf;
            break;
        }
        case Fn::Transform:
            n.buf.clear();
            switch (a->type) {
                case TExprType::Character: TransformText(n.buf, a->s, b->s); break;
                case TExprType::Numeric: TransformNumber(n.buf, a->num, b->s, a->len, a->dec); break;
                case TExprType::Date: FormatDate(n.buf, a->jul, prog); break;
                case TExprType::Logical: {
                    bool yn = b->s.find('Y') != std::string_view::npos || b->s.find('y') != std::string_view::npos;
                    n.buf += a->log ? (yn ? 'Y' : 'T') : (yn ? 'N' : 'F');
                    break;
                }
            }
            Cut(n);
            break;
        case Fn::Val: n.num = ValOf(a->s); break;
    }
}

}  // namespace

int CompareText(std::string_view a, std::string_view b, bool prefix, bool fold) {
    if (prefix && b.size() <= a.size()) a = a.substr(0, b.size());
    size_t n = std::max(a.size(), b.size());
    if (!fold && a.size() == b.size()) {
        int r = std::memcmp(a.data(), b.data(), n);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    for (size_t i = 0; i < n; ++i) {
        char ca = i < a.size() ? a[i] : ' ';
        char cb = i < b.size() ? b[i] : ' ';
        if (fold) {
            ca = Fold(ca);
            cb = Fold(cb);
        }
        if (ca != cb) return uint8_t(ca) < uint8_t(cb) ? -1 : 1;
    }
    return 0;
}

void Eval(Node& n, const Context& cx, const Program& prog) {
    Node* a = n.args[0];
    Node* b = n.args[1];
    switch (n.op) {
        case Op::Const: return;
        case Op::FieldC: n.s = Bytes(cx.rec + n.off, n.flen); return;
        case Op::FieldN: n.num = ParseNumber(Bytes(cx.rec + n.off, n.flen)); return;
        case Op::FieldD: n.jul = ParseDateField(Bytes(cx.rec + n.off, 8)); return;
        case Op::FieldL: {
            char ch = char(cx.rec[n.off]);
            n.log = ch == 'T' || ch == 't' || ch == 'Y' || ch == 'y';
            return;
        }
        case Op::FieldM: {
            n.buf.clear();
            if (prog.table) {
                uint32_t block = MemoPointer(n, cx.rec);
                // In a shared open another process may have rewritten the record since it was
                // read: follow the pointer the file holds now.
                if (block && cx.recNo && !prog.table->Exclusive()) block = prog.table->MemoPointerOnDisk(cx.recNo, n.field);
                if (block) n.buf = prog.table->ReadMemo(block);
            }
            n.s = n.buf;
            return;
        }
        case Op::Neg: Eval(*a, cx, prog); n.num = -a->num; return;
        case Op::Not: Eval(*a, cx, prog); n.log = !a->log; return;
        case Op::And:
            Eval(*a, cx, prog);
            if (!a->log) {
                n.log = false;
                return;
            }
            Eval(*b, cx, prog);
            n.log = b->log;
            return;
        case Op::Or:
            Eval(*a, cx, prog);
            if (a->log) {
                n.log = true;
                return;
            }
            Eval(*b, cx, prog);
            n.log = b->log;
            return;
        default: break;
    }
    if (n.op == Op::Func) {
        EvalFunc(n, cx, prog);
        return;
    }
    Eval(*a, cx, prog);
    Eval(*b, cx, prog);
    switch (n.op) {
        case Op::Add: n.num = Finite(a->num + b->num); return;
        case Op::Sub: n.num = Finite(a->num - b->num); return;
        case Op::Mul: n.num = Finite(a->num * b->num); return;
        case Op::Div: n.num = b->num == 0 ? 0 : Finite(a->num / b->num); return;
        case Op::Mod: n.num = b->num == 0 ? 0 : Finite(std::fmod(a->num, b->num)); return;
        case Op::Pow: n.num = Finite(std::pow(a->num, b->num)); return;
        case Op::Concat:
            n.buf.assign(a->s.data(), a->s.size());
            n.buf.append(b->s.data(), std::min(b->s.size(), size_t(kMaxGenerated) - std::min(size_t(kMaxGenerated), n.buf.size())));
            Cut(n);
            return;
        case Op::ConcatTrim: {
            std::string_view t = TrimRight(a->s);
            n.buf.assign(t.data(), t.size());
            n.buf.append(b->s.data(), b->s.size());
            n.buf.append(a->s.size() - t.size(), ' ');
            Cut(n);
            return;
        }
        case Op::DatePlusNum: n.jul = a->jul == 0 ? 0 : CheckedJulian(a->jul + std::trunc(b->num)); return;
        case Op::NumPlusDate: n.jul = b->jul == 0 ? 0 : CheckedJulian(b->jul + std::trunc(a->num)); return;
        case Op::DateMinusNum: n.jul = a->jul == 0 ? 0 : CheckedJulian(a->jul - std::trunc(b->num)); return;
        case Op::DateMinusDate: n.num = (a->jul == 0 || b->jul == 0) ? 0 : double(a->jul - b->jul); return;
        case Op::Contains: n.log = Find(b->s, a->s, n.caseFold, 0) != std::string_view::npos; return;
        case Op::Cmp: {
            int r = CompareValues(*a, *b, n.prefix, n.caseFold);
            switch (n.cmp) {
                case CmpOp::Eq:
                case CmpOp::ExactEq: n.log = r == 0; break;
                case CmpOp::Ne: n.log = r != 0; break;
                case CmpOp::Lt: n.log = r < 0; break;
                case CmpOp::Le: n.log = r <= 0; break;
                case CmpOp::Gt: n.log = r > 0; break;
                case CmpOp::Ge: n.log = r >= 0; break;
            }
            return;
        }
        default: return;
    }
}

}  // namespace bde::exprimpl
