// links: dbv_classes
// Fuzzes the text readers of the run-time library and classes: INI files (read, edit, write
// back), the registry file, comma/delimited text, and the number and date conversions. The
// first byte picks the reader; the rest is its input. Nothing may crash, and what an edit
// leaves must read back.
// links: dbv_classes dbv_rtl
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "classes/inifiles.h"
#include "classes/lists.h"
#include "classes/registry.h"
#include "rtl/datetime.h"
#include "rtl/sysutils.h"

using namespace vcl;

namespace {
std::string Dir() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/fuzz-text-XXXXXX";
        std::string d = mkdtemp(tmpl);
        SetSystemDirectory(d);
        return d;
    }();
    return dir;
}

void Ini(const std::string& text) {
    std::string f = JoinPath(Dir(), "f.ini");
    WriteFileAtomic(f, text);
    TIniFile ini(f);
    TStringList sections, keys;
    ini.ReadSections(&sections);
    for (int i = 0; i < sections.GetCount() && i < 8; ++i) {
        ini.ReadSectionValues(sections.Strings(i), &keys);
        ini.ReadSection(sections.Strings(i), &keys);
        for (int k = 0; k < keys.GetCount() && k < 8; ++k) {
            std::string v = ini.ReadString(sections.Strings(i), keys.Strings(k), "");
            ini.ReadInteger(sections.Strings(i), keys.Strings(k), 0);
            ini.ReadFloat(sections.Strings(i), keys.Strings(k), 0);
        }
    }
    if (sections.GetCount() > 0) {
        ini.EraseSection(sections.Strings(sections.GetCount() - 1));
        try {
            ini.WriteInteger(sections.Strings(0), "Added", 7);
            if (sections.GetCount() > 1 && ini.ReadInteger(sections.Strings(0), "Added", 0) != 7) abort();
        } catch (const EIniFileException&) {
            // a section name from the input that cannot be written
        }
    }
    ini.WriteString("Fuzz", "Key", " value ");
    if (ini.ReadString("Fuzz", "Key", "") != " value ") abort();
    ini.UpdateFile();
}

void Reg(const std::string& text) {
    WriteFileAtomic(RegistryFileName(), text);
    TRegistry reg;
    TStringList names;
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.GetKeyNames(&names);
    for (int i = 0; i < names.GetCount() && i < 8; ++i) {
        if (!reg.OpenKeyReadOnly("\\" + names.Strings(i))) continue;
        TStringList values;
        reg.GetValueNames(&values);
        for (int k = 0; k < values.GetCount() && k < 8; ++k) {
            TRegDataInfo info;
            reg.GetDataInfo(values.Strings(k), info);
            if (info.RegData == rdString) reg.ReadString(values.Strings(k));
            if (info.RegData == rdBinary) reg.ReadBinary(values.Strings(k));
        }
        reg.CloseKey();
    }
    if (!reg.OpenKey("\\Fuzz", true)) abort();
    reg.WriteString("v", text.substr(0, 64));
    reg.CloseKey();
    TRegistry back;
    if (!back.OpenKeyReadOnly("\\Fuzz") || back.ReadString("v") != text.substr(0, 64)) abort();
}

void Delimited(const std::string& text) {
    TStringList a, b;
    a.SetCommaText(text);
    b.SetCommaText(a.GetCommaText());
    if (!a.Equals(b)) abort();
    a.SetDelimiter(';');
    a.SetQuoteChar('\'');
    a.SetStrictDelimiter(true);
    a.SetDelimitedText(text);
    b.SetDelimiter(';');
    b.SetQuoteChar('\'');
    b.SetStrictDelimiter(true);
    b.SetDelimitedText(a.GetDelimitedText());
    if (!a.Equals(b)) abort();
    a.SetText(text);
    b.SetText(a.GetText());
    if (!a.Equals(b)) abort();
}

void Conversions(const std::string& text) {
    int i;
    long long l;
    double d;
    TDateTime dt;
    TryStrToInt(text, i);
    TryStrToInt64(text, l);
    if (TryStrToFloat(text, d)) (void)FloatToStr(d);
    if (TryStrToDate(text, dt)) (void)DateToStr(dt);
    if (TryStrToTime(text, dt)) (void)TimeToStr(dt);
    try {
        dt = StrToDateTime(text);
        (void)DateTimeToStr(dt);
    } catch (const EConvertError&) {
    }
    if (text.size() < 40) (void)FormatDateTime(text, 45000.25);
    (void)MatchesMask(text, "*a?b*");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: Ini(text); break;
    case 1: Reg(text); break;
    case 2: Delimited(text); break;
    default: Conversions(text); break;
    }
    return 0;
}
