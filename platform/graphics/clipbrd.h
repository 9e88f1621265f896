// The application clipboard: text, bitmap and picture formats. A window backend can take over
// the text format (the system clipboard) through SetClipboardBackend.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "graphics/graphics.h"

namespace vcl {

constexpr uint16_t CF_TEXT = 1, CF_BITMAP = 2, CF_METAFILEPICT = 3, CF_DIB = 8,
                   CF_UNICODETEXT = 13, CF_PICTURE = 0xC100;

class TClipboard : public TPersistent {
    DBV_CLASS(TClipboard, TPersistent)
public:
    TClipboard() = default;
    ~TClipboard() override;
    // Between Open and Close, setting data adds a format; otherwise it replaces the contents.
    void Open();
    void Close();
    void Clear();
    bool HasFormat(uint16_t format) const;
    int FormatCount() const;
    uint16_t Formats(int index) const;
    std::string GetAsText() const;
    void SetAsText(const std::string& text);
    // Takes a copy of a picture's graphic, a graphic or a bitmap; null clears.
    void Assign(TPersistent* Source) override;
    // The graphic held (bitmap or picture format), null when none.
    TGraphic* GetGraphic() const { return graphic_; }

protected:
    // A bitmap or picture takes the clipboard's graphic; EInvalidGraphic
    // "Unsupported clipboard format" when there is none.
    void AssignTo(TPersistent* Dest) override;

private:
    void Replace();
    int open_ = 0;
    bool hasText_ = false;
    std::string text_;
    TGraphic* graphic_ = nullptr;
};

TClipboard* Clipboard();

// The system clipboard of a window backend, for text.
struct TClipboardBackend {
    std::function<bool(std::string& text)> GetText;  // false: no text there
    std::function<void(const std::string& text)> SetText;
    std::function<void()> Clear;
};
void SetClipboardBackend(TClipboardBackend backend);
void ResetClipboardBackend();

}  // namespace vcl
