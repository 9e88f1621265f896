// Code pages of table files: the language byte of a dBase header names a code page, and text
// converts between that code page (as stored) and UTF-8 (as the API speaks).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace bde {

// The code page a dBase language byte stands for; 0 when the byte is unknown or 0 (unset).
int CodePageOfLanguageByte(uint8_t language);
// The language byte written for a code page; 0 when the code page has none.
uint8_t LanguageByteOfCodePage(int codePage);

// Converts between one code page and UTF-8 (glibc iconv). Pure ASCII takes a fast path.
class TCodePageConverter {
public:
    explicit TCodePageConverter(int codePage);
    ~TCodePageConverter();
    TCodePageConverter(const TCodePageConverter&) = delete;
    TCodePageConverter& operator=(const TCodePageConverter&) = delete;

    int CodePage() const { return codePage_; }
    // Stored bytes to UTF-8. Bytes the code page does not define raise DBIERR_INVALIDFLDXFORM.
    std::string ToUtf8(std::string_view stored) const;
    // The same, handing pure ASCII back without a copy.
    std::string ToUtf8(std::string&& stored) const;
    std::string ToUtf8(const char* stored) const { return ToUtf8(std::string_view(stored)); }
    // UTF-8 to stored bytes. A character the code page cannot represent, or invalid UTF-8,
    // raises DBIERR_INVALIDFLDXFORM naming the character's position.
    std::string FromUtf8(std::string_view utf8) const;

private:
    struct Impl;
    int codePage_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace bde
