// The application clipboard.
#include "graphics/clipbrd.h"

#include <memory>

namespace vcl {

namespace {
TClipboardBackend& Backend() {
    static TClipboardBackend b;
    return b;
}
bool HasBackend() { return static_cast<bool>(Backend().GetText); }
}  // namespace

void SetClipboardBackend(TClipboardBackend backend) { Backend() = std::move(backend); }
void ResetClipboardBackend() { Backend() = TClipboardBackend{}; }

DBV_IMPLEMENT_CLASS(TClipboard)

TClipboard* Clipboard() {
    static TClipboard* c = new TClipboard;  // lives for the process
    return c;
}

TClipboard::~TClipboard() { delete graphic_; }

void TClipboard::Open() { ++open_; }
void TClipboard::Close() { if (open_ > 0) --open_; }

void TClipboard::Clear() {
    hasText_ = false;
    text_.clear();
    delete graphic_;
    graphic_ = nullptr;
    if (HasBackend() && Backend().Clear) Backend().Clear();
}

void TClipboard::Replace() {
    if (open_ == 0) Clear();
}

bool TClipboard::HasFormat(uint16_t format) const {
    switch (format) {
        case CF_TEXT:
        case CF_UNICODETEXT: {
            if (HasBackend()) {
                std::string t;
                return Backend().GetText(t);
            }
            return hasText_;
        }
        case CF_BITMAP:
        case CF_DIB: return graphic_ && graphic_->Is<TBitmap>();
        case CF_PICTURE: return graphic_ != nullptr;
        default: return false;
    }
}

int TClipboard::FormatCount() const {
    int n = 0;
    for (uint16_t f : {CF_TEXT, CF_BITMAP, CF_PICTURE}) n += HasFormat(f) ? 1 : 0;
    return n;
}
uint16_t TClipboard::Formats(int index) const {
    int n = 0;
    for (uint16_t f : {CF_TEXT, CF_BITMAP, CF_PICTURE})
        if (HasFormat(f) && n++ == index) return f;
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

std::string TClipboard::GetAsText() const {
    if (HasBackend()) {
        std::string t;
        return Backend().GetText(t) ? t : std::string();
    }
    return hasText_ ? text_ : std::string();
}

void TClipboard::SetAsText(const std::string& text) {
    Replace();
    hasText_ = true;
    text_ = text;
    if (HasBackend() && Backend().SetText) Backend().SetText(text);
}

void TClipboard::Assign(TPersistent* Source) {
    if (!Source) { Clear(); return; }
    TGraphic* g = nullptr;
    if (auto* p = dynamic_cast<TPicture*>(Source)) g = p->GetGraphic();
    else g = dynamic_cast<TGraphic*>(Source);
    if (!g && !dynamic_cast<TPicture*>(Source)) { inherited::Assign(Source); return; }
    Replace();
    delete graphic_;
    graphic_ = nullptr;
    if (!g) return;
    auto* copy = static_cast<TGraphic*>(g->ClassType().CreateInstance());
    try {
        copy->Assign(g);
    } catch (...) {
        copy->Free();
        throw;
    }
    graphic_ = copy;
}

void TClipboard::AssignTo(TPersistent* Dest) {
    if (auto* p = dynamic_cast<TPicture*>(Dest)) {
        if (!graphic_) throw EInvalidGraphic("Unsupported clipboard format");
        p->SetGraphic(graphic_);
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
        if (!graphic_) throw EInvalidGraphic("Unsupported clipboard format");
        b->Assign(graphic_);
        return;
    }
    inherited::AssignTo(Dest);
}

}  // namespace vcl
