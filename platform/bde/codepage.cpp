#include "bde/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "bde/errors.h"

namespace bde {

namespace {

struct TLanguage {
    uint8_t byte;
    int codePage;
};

// dBase and FoxPro language bytes. The first entry for a code page is the one written.
constexpr TLanguage kLanguages[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x64, 852},  {0x65, 866},
    {0x66, 865},  {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x78, 950},
    {0x79, 949},  {0x7A, 936},  {0x7B, 932},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256},
    {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254},
    {0xCB, 1253}, {0xCC, 1257},
    // Further bytes that name the same code pages (national DOS and ANSI variants).
    {0x08, 865},  {0x09, 437},  {0x0A, 850},  {0x0B, 437},  {0x0D, 437},  {0x0E, 850},
    {0x0F, 437},  {0x10, 850},  {0x11, 437},  {0x12, 850},  {0x13, 932},  {0x14, 850},
    {0x15, 437},  {0x16, 850},  {0x17, 865},  {0x18, 437},  {0x19, 437},  {0x1A, 850},
    {0x1B, 437},  {0x1C, 863},  {0x1D, 850},  {0x1F, 852},  {0x22, 852},  {0x23, 852},
    {0x24, 860},  {0x25, 850},  {0x26, 866},  {0x37, 850},  {0x40, 852},  {0x4D, 936},
    {0x4E, 949},  {0x4F, 950},  {0x50, 874},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252},
};

std::string IconvName(int codePage) {
    switch (codePage) {
        case 10000: return "MACINTOSH";
        case 10006: return "MACGREEK";
        case 10007: return "MAC-CYRILLIC";
        case 10029: return "MAC-CENTRALEUROPE";
        case 932: return "CP932";
        case 936: return "CP936";
        case 949: return "CP949";
        case 950: return "CP950";
        default: return "CP" + std::to_string(codePage);
    }
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

int CodePageOfLanguageByte(uint8_t language) {
    for (const auto& l : kLanguages)
        if (l.byte == language) return l.codePage;
    return 0;
}

uint8_t LanguageByteOfCodePage(int codePage) {
    for (const auto& l : kLanguages)
        if (l.codePage == codePage) return l.byte;
    return 0;
}

struct TCodePageConverter::Impl {
    iconv_t toUtf8 = iconv_t(-1);
    iconv_t fromUtf8 = iconv_t(-1);
    std::mutex lock;  // an iconv descriptor keeps state; one conversion at a time
    // Single-byte pages decode through a table built once from iconv: the UTF-8 of each byte
    // (1 to 3 bytes, length in utf8Len; 0 = not defined in the page). Empty for multi-byte pages.
    bool singleByte = false;
    std::array<std::array<char, 3>, 256> utf8{};
    std::array<uint8_t, 256> utf8Len{};
};

namespace {

// Pages a byte-by-byte table cannot decode: the multi-byte Asian pages, and 1255, whose
// converter composes a base letter with the points that follow it.
bool NeedsIconv(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1255;
}

}  // namespace

TCodePageConverter::TCodePageConverter(int codePage) : codePage_(codePage), impl_(new Impl) {
    if (codePage == 0) return;  // plain bytes: ASCII passes, anything else is refused
    std::string name = IconvName(codePage);
    impl_->toUtf8 = iconv_open("UTF-8", name.c_str());
    impl_->fromUtf8 = iconv_open(name.c_str(), "UTF-8");
    if (impl_->toUtf8 == iconv_t(-1) || impl_->fromUtf8 == iconv_t(-1))
        RaiseError(DBIERR_NOTSUPPORTED, "Code page " + std::to_string(codePage) + " is not supported");
    if (NeedsIconv(codePage)) return;
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        char out[8];
        char* src = &in;
        size_t srcLeft = 1;
        char* dst = out;
        size_t dstLeft = sizeof out;
        iconv(impl_->toUtf8, nullptr, nullptr, nullptr, nullptr);
        if (iconv(impl_->toUtf8, &src, &srcLeft, &dst, &dstLeft) == size_t(-1)) continue;
        size_t n = sizeof out - dstLeft;
        if (n == 0 || n > 3) return;  // not a plain single-byte page after all: keep using iconv
        std::memcpy(impl_->utf8[size_t(b)].data(), out, n);
        impl_->utf8Len[size_t(b)] = uint8_t(n);
    }
    iconv(impl_->toUtf8, nullptr, nullptr, nullptr, nullptr);
    impl_->singleByte = true;
}

TCodePageConverter::~TCodePageConverter() {
    if (impl_->toUtf8 != iconv_t(-1)) iconv_close(impl_->toUtf8);
    if (impl_->fromUtf8 != iconv_t(-1)) iconv_close(impl_->fromUtf8);
}

static std::string Convert(iconv_t cd, std::string_view in, int codePage, bool toUtf8) {
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != size_t(-1)) break;
        if (errno == E2BIG) {
            size_t used = size_t(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        size_t at = size_t(src - in.data());
        if (toUtf8)
            RaiseError(DBIERR_INVALIDFLDXFORM, "Byte " + std::to_string((unsigned char)in[at]) +
                                                   " at position " + std::to_string(at + 1) +
                                                   " is not defined in code page " +
                                                   std::to_string(codePage));
        RaiseError(DBIERR_INVALIDFLDXFORM, "The character at byte " + std::to_string(at + 1) +
                                               " cannot be stored in code page " +
                                               std::to_string(codePage));
    }
    // Flush any shift state (none for the single-byte pages, harmless otherwise).
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.resize(size_t(dst - out.data()));
    return out;
}

std::string TCodePageConverter::ToUtf8(std::string_view stored) const {
    if (IsAscii(stored)) return std::string(stored);
    if (impl_->toUtf8 == iconv_t(-1))
        RaiseError(DBIERR_INVALIDFLDXFORM,
                   "The table has no code page, so bytes above 127 cannot be read as text");
    if (impl_->singleByte) {
        std::string out;
        out.resize(stored.size() * 3);
        char* dst = out.data();
        for (size_t i = 0; i < stored.size(); ++i) {
            unsigned char c = (unsigned char)stored[i];
            size_t n = impl_->utf8Len[c];
            if (n == 0)
                RaiseError(DBIERR_INVALIDFLDXFORM, "Byte " + std::to_string(c) + " at position " + std::to_string(i + 1) +
                                                       " is not defined in code page " + std::to_string(codePage_));
            std::memcpy(dst, impl_->utf8[c].data(), n);
            dst += n;
        }
        out.resize(size_t(dst - out.data()));
        return out;
    }
    std::lock_guard<std::mutex> g(impl_->lock);
    return Convert(impl_->toUtf8, stored, codePage_, true);
}

std::string TCodePageConverter::ToUtf8(std::string&& stored) const {
    if (IsAscii(stored)) return std::move(stored);
    return ToUtf8(std::string_view(stored));
}

std::string TCodePageConverter::FromUtf8(std::string_view utf8) const {
    if (IsAscii(utf8)) return std::string(utf8);
    if (impl_->fromUtf8 == iconv_t(-1))
        RaiseError(DBIERR_INVALIDFLDXFORM,
                   "The table has no code page, so only ASCII text can be stored");
    std::lock_guard<std::mutex> g(impl_->lock);
    return Convert(impl_->fromUtf8, utf8, codePage_, false);
}

}  // namespace bde
