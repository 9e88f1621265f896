// Field descriptions of a dBase table and the plain value types the engine hands out.
#pragma once
#include <cstdint>
#include <string>

namespace bde {

// The storage kinds this engine reads and writes. Other type letters of foreign files are
// kept as Unsupported: their bytes can be read raw, not as values, and such tables are
// read-only.
enum class TDbfFieldKind { Character, Numeric, Float, Date, Logical, Memo, Unsupported };

// What a caller asks for when creating a table.
struct TDbfFieldDef {
    std::string Name;
    char Type = 'C';  // C N F D L M
    int Length = 0;   // 0 = the type's fixed length (D 8, L 1, M 10)
    int Decimals = 0;
};

// One field as the file describes it.
struct TDbfFieldDesc {
    std::string Name;      // as stored (upper case for files we write)
    char Type = 'C';       // the type letter as stored
    TDbfFieldKind Kind = TDbfFieldKind::Character;
    uint16_t Length = 0;   // stored bytes
    uint8_t Decimals = 0;
    uint32_t Offset = 0;   // from the start of the record buffer (the deletion byte is 0)
    bool Hidden = false;   // a FoxPro system column (_NullFlags)
    bool BinaryMemoPointer = false;  // FoxPro 4-byte memo pointer
    // Why an Unsupported field cannot be read (empty for the others), for messages.
    std::string Problem;
};

// A calendar date (no time of day).
struct TDbfDate {
    int Year = 0, Month = 0, Day = 0;
    bool operator==(const TDbfDate&) const = default;
};

bool IsValidCalendarDate(int year, int month, int day);

}  // namespace bde
