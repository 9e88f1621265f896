// Error codes of the table engine and the helper that raises them.
// Codes follow the engine's category scheme (category in the high byte, code in the low byte);
// callers rely on the navigation results BOF (8705) and EOF (8706) by value.
#pragma once
#include <string>
#include <string_view>

#include "rtl/exceptions.h"

namespace bde {

using DBIResult = int;

constexpr DBIResult DBIERR_NONE = 0;

// Not found: navigation and lookups.
constexpr DBIResult ERRBASE_NOTFOUND = 0x2200;
constexpr DBIResult DBIERR_BOF = ERRBASE_NOTFOUND + 1;              // 8705
constexpr DBIResult DBIERR_EOF = ERRBASE_NOTFOUND + 2;              // 8706
constexpr DBIResult DBIERR_RECMOVED = ERRBASE_NOTFOUND + 3;
constexpr DBIResult DBIERR_KEYORRECDELETED = ERRBASE_NOTFOUND + 4;
constexpr DBIResult DBIERR_NOCURRREC = ERRBASE_NOTFOUND + 5;
constexpr DBIResult DBIERR_RECNOTFOUND = ERRBASE_NOTFOUND + 6;
constexpr DBIResult DBIERR_ENDOFBLOB = ERRBASE_NOTFOUND + 7;
constexpr DBIResult DBIERR_OBJNOTFOUND = ERRBASE_NOTFOUND + 8;
constexpr DBIResult DBIERR_BLOBFILEMISSING = ERRBASE_NOTFOUND + 10;
constexpr DBIResult DBIERR_NOSUCHFILE = ERRBASE_NOTFOUND + 12;
constexpr DBIResult DBIERR_NOSUCHINDEX = ERRBASE_NOTFOUND + 13;

// Damaged data.
constexpr DBIResult ERRBASE_CORRUPT = 0x2300;
constexpr DBIResult DBIERR_HEADERCORRUPT = ERRBASE_CORRUPT + 1;
constexpr DBIResult DBIERR_FILECORRUPT = ERRBASE_CORRUPT + 2;
constexpr DBIResult DBIERR_MEMOCORRUPT = ERRBASE_CORRUPT + 3;
constexpr DBIResult DBIERR_INDEXCORRUPT = ERRBASE_CORRUPT + 5;  // damaged or stale index

// Input and output.
constexpr DBIResult ERRBASE_IO = 0x2400;
constexpr DBIResult DBIERR_READERR = ERRBASE_IO + 1;
constexpr DBIResult DBIERR_WRITEERR = ERRBASE_IO + 2;
constexpr DBIResult DBIERR_FILENOACCESS = ERRBASE_IO + 5;
constexpr DBIResult DBIERR_FILEEXISTS = ERRBASE_IO + 7;

// Limits.
constexpr DBIResult ERRBASE_LIMIT = 0x2500;
constexpr DBIResult DBIERR_RECTOOBIG = ERRBASE_LIMIT + 6;
constexpr DBIResult DBIERR_TOOMANYFIELDS = ERRBASE_LIMIT + 9;
constexpr DBIResult DBIERR_INDEXLIMIT = ERRBASE_LIMIT + 11;  // too many tags, or a key too long

// Invalid requests and values.
constexpr DBIResult ERRBASE_INVALIDREQ = 0x2700;
constexpr DBIResult DBIERR_INVALIDPARAM = ERRBASE_INVALIDREQ + 2;
constexpr DBIResult DBIERR_INVALIDFIELDNAME = ERRBASE_INVALIDREQ + 3;
constexpr DBIResult DBIERR_INVALIDFLDTYPE = ERRBASE_INVALIDREQ + 4;
constexpr DBIResult DBIERR_INVALIDFLDXFORM = ERRBASE_INVALIDREQ + 5;
constexpr DBIResult DBIERR_INVALIDEXPR = ERRBASE_INVALIDREQ + 0x30;  // expression does not compile
constexpr DBIResult DBIERR_INVALIDRECNO = ERRBASE_INVALIDREQ + 6;
constexpr DBIResult DBIERR_NAMENOTUNIQUE = ERRBASE_INVALIDREQ + 7;
constexpr DBIResult DBIERR_TABLEREADONLY = ERRBASE_INVALIDREQ + 8;
constexpr DBIResult DBIERR_NOTSUPPORTED = ERRBASE_INVALIDREQ + 9;

// Locks and sharing.
constexpr DBIResult ERRBASE_LOCKCONFLICT = 0x2800;
constexpr DBIResult DBIERR_LOCKED = ERRBASE_LOCKCONFLICT + 1;
constexpr DBIResult DBIERR_FILEBUSY = ERRBASE_LOCKCONFLICT + 3;
constexpr DBIResult DBIERR_FILELOCKED = ERRBASE_LOCKCONFLICT + 5;
constexpr DBIResult DBIERR_NEEDEXCLACCESS = ERRBASE_LOCKCONFLICT + 10;

// Other.
constexpr DBIResult ERRBASE_OTHER = 0x3300;
constexpr DBIResult DBIERR_USERABORT = ERRBASE_OTHER + 1;

// Raises vcl::EDBEngineError with the code and message.
[[noreturn]] void RaiseError(DBIResult code, const std::string& message);

// File bytes made safe for a message: printable ASCII as it is, every other byte (NUL,
// controls, bytes above 127) as \xNN.
std::string PrintableBytes(std::string_view bytes);
// UTF-8 text made safe for a message: controls and invalid UTF-8 bytes as \xNN, valid
// characters above 127 kept.
std::string PrintableText(std::string_view utf8);

}  // namespace bde
