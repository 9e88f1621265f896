// links: dbv_classes
// Fuzzes the form-file reader: any text either reads or raises EReadError; nothing crashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classes/component.h"
#include "classes/filer.h"
#include "classes/lists.h"

namespace {

class TFuzzThing : public vcl::TComponent {
    DBV_CLASS(TFuzzThing, vcl::TComponent)
public:
    explicit TFuzzThing(vcl::TComponent* AOwner)
        : TComponent(AOwner), lines_(vcl::Create<vcl::TStringList>()) {}
    ~TFuzzThing() override { lines_->Free(); }
    int GetWidth() const { return width_; }
    void SetWidth(int v) { width_ = v; }
    std::string GetCaption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    vcl::TStringList* GetLines() const { return lines_; }
    void SetLines(vcl::TStringList* v) { lines_->Assign(v); }
    TFuzzThing* GetBuddy() const { return buddy_; }
    void SetBuddy(TFuzzThing* v) { buddy_ = v; }
    void Notification(vcl::TComponent* c, vcl::TOperation op) override {
        TComponent::Notification(c, op);
        if (op == vcl::opRemove && c == buddy_) buddy_ = nullptr;
    }

private:
    int width_ = 0;
    std::string caption_;
    vcl::TStringList* lines_;
    TFuzzThing* buddy_ = nullptr;
};

DBV_PUBLISHED(TFuzzThing) {
    b.Int("Width", &TFuzzThing::GetWidth, &TFuzzThing::SetWidth);
    b.String("Caption", &TFuzzThing::GetCaption, &TFuzzThing::SetCaption);
    b.Object("Lines", &TFuzzThing::GetLines, &TFuzzThing::SetLines);
    b.Component("Buddy", &TFuzzThing::GetBuddy, &TFuzzThing::SetBuddy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool registered = [] {
        vcl::RegisterClasses({&TFuzzThing::StaticClass(), &vcl::TDataModule::StaticClass()});
        return true;
    }();
    (void)registered;
    std::string text(reinterpret_cast<const char*>(data), size);
    auto* root = vcl::Create<vcl::TDataModule>(nullptr);
    try {
        vcl::ReadComponentFromText(text, root);
        (void)vcl::ComponentToText(root);
    } catch (const vcl::Exception&) {
    }
    root->Free();
    return 0;
}
