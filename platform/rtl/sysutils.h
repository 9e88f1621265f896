// Strings, number conversions, file names and files, the system directory.
// Strings are UTF-8 std::string; case rules fold ASCII only.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/exceptions.h"

namespace vcl {

// ---- case and comparison (ASCII only) ----
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
char UpCase(char c);
int CompareText(std::string_view a, std::string_view b);  // <0, 0, >0 ignoring ASCII case
int CompareStr(std::string_view a, std::string_view b);   // byte-wise
bool SameText(std::string_view a, std::string_view b);

// ---- trims (blank and control characters, as the platform does) ----
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ---- 1-based helpers for places where the platform's arithmetic is 1-based ----
// Copy(s, index, count): count characters from 1-based index; out-of-range parts are cut.
std::string Copy(std::string_view s, int index, int count);
// Pos(sub, s): 1-based position of the first occurrence (case-sensitive), 0 when absent.
int Pos(std::string_view sub, std::string_view s);
std::string StringOfChar(char c, int count);
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);
std::string QuotedStr(std::string_view s, char quote = '\'');
// Splits a ';'-separated field-name list item by item: returns the name starting at 1-based
// position pos and advances pos past the separator.
std::string ExtractFieldName(std::string_view fields, int& pos);
// The names of a ";"-separated field list, blanks trimmed and empty names left out.
std::vector<std::string> SplitFieldNames(std::string_view fields);

// ---- formatting and conversions ----
// printf-style formatting (%d, %s with std::string via .c_str(), %.2f, %5d, %x ...).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list ap);
std::string IntToStr(long long v);
std::string IntToHex(long long v, int digits);
// Raise EConvertError "'abc' is not a valid integer value" on bad input.
int StrToInt(std::string_view s);
long long StrToInt64(std::string_view s);
int StrToIntDef(std::string_view s, int def);
bool TryStrToInt(std::string_view s, int& out);
bool TryStrToInt64(std::string_view s, long long& out);
// Floats use '.' as the decimal separator (FormatSettings.DecimalSeparator).
double StrToFloat(std::string_view s);  // "'x' is not a valid floating point value"
bool TryStrToFloat(std::string_view s, double& out);
double StrToFloatDef(std::string_view s, double def);
std::string FloatToStr(double v);  // shortest text that reads back, 15 significant digits
// Formats a number with a mask of the platform's kind: "#,##0.00", "0.###", "$#,##0;($#,##0);Zero"
// (sections for positive, negative and zero values; 0 forces a digit, # shows one when needed,
// a comma in the integer part groups thousands, quoted text is literal).
std::string FormatFloat(const std::string& format, double value);
bool StrToBool(std::string_view s);  // "True"/"False"/numbers; "'x' is not a valid boolean value"
std::string BoolToStr(bool b, bool useBoolStrs = true);  // "True"/"False" or "-1"/"0"

// ---- file names (both '/' and '\' separate) ----
bool IsPathDelimiter(char c);
std::string ExtractFilePath(std::string_view name);  // with trailing separator
std::string ExtractFileDir(std::string_view name);   // without trailing separator
std::string ExtractFileName(std::string_view name);
std::string ExtractFileExt(std::string_view name);   // ".dbf" or ""
std::string ChangeFileExt(std::string_view name, std::string_view ext);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
std::string IncludeTrailingPathDelimiter(std::string_view path);
// Joins a directory and a name with the separator the directory already uses ('/' by default):
// "C:\DATA\" + "ORDERS" -> "C:\DATA\ORDERS".
std::string JoinPath(std::string_view dir, std::string_view name);
// True when the name contains '/', '\' or ':' (a path rather than an alias or bare name).
bool HasPathPart(std::string_view name);
// Backslashes turned into '/', so the operating system can open the name.
std::string ToNativePath(std::string_view name);

// What identifies a file's contents on disk: changes when it is replaced or written. A missing
// file and a directory both read as "not there".
struct TFileStamp {
    bool exists = false;
    uint64_t dev = 0, ino = 0, size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp FileStampOf(std::string_view name);

bool FileExists(std::string_view name);
bool DirectoryExists(std::string_view name);
bool ForceDirectories(std::string_view dir);
bool DeleteFile(std::string_view name);
bool RenameFile(std::string_view from, std::string_view to);
long long FileSize(std::string_view name);  // -1 when absent
// Finds 'name' inside its directory ignoring case; returns the real path or "" when absent.
std::string FindFileNoCase(std::string_view name);
// Lists the plain files of a directory whose names match a '*'/'?' mask (ASCII case ignored).
std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask);
bool MatchesMask(std::string_view name, std::string_view mask);
std::string GetCurrentDir();
// The directory of the running program (with trailing separator).
std::string ExeDir();
std::string ExeName();

// Reads or writes a whole file; raise EFOpenError / EFCreateError with the platform's texts.
std::string ReadFileBytes(std::string_view name);
// Writes to a temporary file in the same directory, syncs and renames it over the target, so a
// crash leaves either the old or the new file, never half of one.
void WriteFileAtomic(std::string_view name, std::string_view bytes);

// ---- the system directory ----
// The process-wide directory where bare INI names and the registry store live
// (default $DBVANTOR_HOME, else ~/.config/dbvantor). Tests point it at a temporary directory.
std::string SystemDirectory();
void SetSystemDirectory(std::string dir);
// A bare name (no separator) resolved in the system directory; other names unchanged.
std::string ResolveInSystemDirectory(std::string_view name);

// ---- numbers ----
// Rounds half to even (Round(12.5) == 12, Round(13.5) == 14); raises on NaN/overflow.
long long Round(double v);
long long Trunc(double v);  // towards zero
double Frac(double v);
// Integer division and remainder truncate towards zero (as 'div' and 'mod' do).
inline long long Div(long long a, long long b) { return a / b; }
inline long long Mod(long long a, long long b) { return a % b; }
// 'shr' on the platform is a logical shift of the 32-bit pattern.
inline int32_t Shr(int32_t v, int n) { return int32_t(uint32_t(v) >> n); }
inline int32_t Shl(int32_t v, int n) { return int32_t(uint32_t(v) << n); }
inline int Max(int a, int b) { return a > b ? a : b; }
inline int Min(int a, int b) { return a < b ? a : b; }

}  // namespace vcl
