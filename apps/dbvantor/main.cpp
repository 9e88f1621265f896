// dbvantor: the program a person runs. A main window with a header, a toolbar, a table list and
// a work area, and a status line; one button opens a modal form, one shows a message. With a
// display it runs in real windows (SDL2); without one it renders the main window to a PNG.
//
//   dbvantor [--png FILE] [--trace]
//     --png FILE  render the main window to FILE and exit (also with a display)
//     --trace     print a line to stdout for every action (scripted runs check them)
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "backend/headless.h"
#include "backend/sdlbackend.h"
#include "controls/buttons.h"
#include "controls/extctrls.h"
#include "controls/forms.h"
#include "rtl/sysutils.h"

using namespace vcl;

namespace {

bool gTrace = false;

void Trace(const std::string& line) {
    if (!gTrace) return;
    std::printf("dbvantor: %s\n", line.c_str());
    std::fflush(stdout);
}

TPanel* NewPanel(TComponent* owner, TWinControl* parent, TAlign align, int size,
                 const std::string& caption) {
    auto* p = Create<TPanel>(owner);
    p->SetParent(parent);
    if (align == alTop || align == alBottom)
        p->SetHeight(size);
    else if (align == alLeft || align == alRight)
        p->SetWidth(size);
    p->SetAlign(align);
    p->SetCaption(caption);
    return p;
}

TButton* NewButton(TComponent* owner, TWinControl* parent, int left, int top, int width,
                   const std::string& caption) {
    auto* b = Create<TButton>(owner);
    b->SetParent(parent);
    b->SetBounds(left, top, width, 25);
    b->SetCaption(caption);
    return b;
}

// A small modal box with a line of text and an OK button.
// TODO(lead): once MessageDlg/ShowMessage land, ShowProgramMessage calls ShowMessage instead.
class TMessageForm : public TForm {
    DBV_CLASS(TMessageForm, TForm)
public:
    explicit TMessageForm(TComponent* owner) : TForm(owner) {}
};
DBV_IMPLEMENT_CLASS(TMessageForm)

void ShowProgramMessage(const std::string& title, const std::string& text) {
    TOwned<TMessageForm> f = MakeOwned<TMessageForm>(nullptr);
    f->SetBorderStyle(bsDialog);
    f->SetCaption(title);
    f->SetBounds(0, 0, 320, 130);
    f->SetPosition(poScreenCenter);
    TPanel* body = NewPanel(f.get(), f.get(), alClient, 0, text);
    body->SetBevelOuter(bvNone);
    TPanel* bar = NewPanel(f.get(), f.get(), alBottom, 40, "");
    bar->SetBevelOuter(bvNone);
    TButton* ok = NewButton(f.get(), bar, (f->GetClientWidth() - 80) / 2, 6, 80, "OK");
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    ok->SetCancel(true);
    f->SetActiveControl(ok);
    f->ShowModal();
}

// The modal form the toolbar opens: the program's settings, OK or Cancel.
class TSettingsForm : public TForm {
    DBV_CLASS(TSettingsForm, TForm)
public:
    explicit TSettingsForm(TComponent* owner) : TForm(owner) {
        SetBorderStyle(bsDialog);
        SetCaption("Settings");
        SetBounds(0, 0, 360, 220);
        SetPosition(poScreenCenter);
        TPanel* bar = NewPanel(this, this, alBottom, 42, "");
        bar->SetBevelOuter(bvNone);
        TPanel* group = NewPanel(this, this, alClient, 0, "");
        group->SetBevelOuter(bvNone);
        group->SetBorderWidth(8);
        TPanel* box = NewPanel(this, group, alClient, 0, "");
        box->SetBevelOuter(bvLowered);
        box->SetBevelInner(bvRaised);
        box->SetBorderWidth(6);
        for (const char* line : {"Tables folder: the sample tables", "Date format: yyyy-mm-dd",
                                 "Confirm deletes: yes"}) {
            TPanel* row = NewPanel(this, box, alTop, 26, line);
            row->SetBevelOuter(bvNone);
            row->SetAlignment(taLeftJustify);
        }
        TButton* ok = NewButton(this, bar, GetClientWidth() - 182, 8, 80, "OK");
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        ok->SetAnchors({akRight, akTop});
        TButton* cancel = NewButton(this, bar, GetClientWidth() - 94, 8, 80, "Cancel");
        cancel->SetModalResult(mrCancel);
        cancel->SetCancel(true);
        cancel->SetAnchors({akRight, akTop});
        SetActiveControl(ok);
    }
};
DBV_IMPLEMENT_CLASS(TSettingsForm)

class TMainForm : public TForm {
    DBV_CLASS(TMainForm, TForm)
public:
    explicit TMainForm(TComponent* owner) : TForm(owner) {
        SetCaption("DB Vantor");
        SetBounds(0, 0, 640, 440);
        SetPosition(poScreenCenter);
        SetKeyPreview(true);
        GetConstraints()->SetMinWidth(420);
        GetConstraints()->SetMinHeight(300);

        TPanel* header = NewPanel(this, this, alTop, 46, "  DB Vantor  -  tables, forms and data-aware controls");
        header->SetBevelOuter(bvNone);
        header->SetAlignment(taLeftJustify);
        header->SetParentFont(false);
        header->GetFont()->SetSize(11);
        header->GetFont()->SetStyle({fsBold});
        header->SetParentColor(false);
        header->SetColor(TColor(RGB(0x24, 0x3B, 0x5A)));
        header->GetFont()->SetColor(clWhite);

        TPanel* tools = NewPanel(this, this, alTop, 38, "");
        int x = 6;
        TButton* settings = NewButton(this, tools, x, 6, 96, "&Settings...");
        settings->OnClick = [this](TObject*) { OpenSettings(); };
        x += 102;
        TButton* message = NewButton(this, tools, x, 6, 96, "&Message");
        message->OnClick = [this](TObject*) { ShowAMessage(); };
        TButton* close = NewButton(this, tools, 640 - 8 - 8 - 80, 6, 80, "&Close");
        close->SetAnchors({akRight, akTop});
        close->OnClick = [this](TObject*) { Close(); };

        status_ = NewPanel(this, this, alBottom, 22, "  Ready");
        status_->SetBevelOuter(bvLowered);
        status_->SetAlignment(taLeftJustify);

        TPanel* body = NewPanel(this, this, alClient, 0, "");
        body->SetBevelOuter(bvNone);
        body->SetBorderWidth(6);
        TPanel* side = NewPanel(this, body, alLeft, 170, "");
        side->SetBevelOuter(bvLowered);
        TPanel* sideTitle = NewPanel(this, side, alTop, 24, "Tables");
        sideTitle->SetParentFont(false);
        sideTitle->GetFont()->SetStyle({fsBold});
        bool first = true;
        for (const char* t : {"CUSTOMER.DB", "ORDERS.DB", "ITEMS.DBF", "PARTS.DBF"}) {
            TPanel* row = NewPanel(this, side, alTop, 22, std::string("   ") + t);
            row->SetBevelOuter(bvNone);
            row->SetAlignment(taLeftJustify);
            row->SetParentColor(false);
            row->SetColor(first ? clHighlight : clWindow);
            if (first) {
                row->SetParentFont(false);
                row->GetFont()->SetColor(clHighlightText);
            }
            first = false;
        }
        side->SetParentColor(false);
        side->SetColor(clWindow);
        TPanel* gap = NewPanel(this, body, alLeft, 6, "");
        gap->SetBevelOuter(bvNone);
        gap->SetLeft(200);
        TPanel* work = NewPanel(this, body, alClient, 0, "Open a table to browse its records");
        work->SetBevelOuter(bvLowered);
        work->SetParentColor(false);
        work->SetColor(clWindow);
        work->SetParentFont(false);
        work->GetFont()->SetColor(clGrayText);

        OnKeyPress = [this](TObject*, char& key) { Typed(key); };
        OnResize = [this](TObject*) { Trace(Format("size %dx%d", GetWidth(), GetHeight())); };
    }

    void SetStatus(const std::string& s) {
        status_->SetCaption("  " + s);
        Trace("status " + s);
    }

private:
    void OpenSettings() {
        Trace("settings opening");
        TOwned<TSettingsForm> f = MakeOwned<TSettingsForm>(nullptr);
        SetStatus("Settings open");
        TModalResult r = f->ShowModal();
        SetStatus(r == mrOk ? "Settings saved" : "Settings cancelled");
    }
    void ShowAMessage() {
        Trace("message opening");
        SetStatus("Message shown");
        ShowProgramMessage("DB Vantor", "Every table is a plain file you can copy.");
        SetStatus("Message closed");
    }
    void Typed(char key) {
        if (key == '\r' || key == 27) return;
        if (key == 8) {
            if (!typed_.empty()) typed_.pop_back();
        } else if (uint8_t(key) >= 32) {
            typed_ += key;
        } else {
            return;
        }
        SetStatus("Typed: " + typed_);
    }

    TPanel* status_ = nullptr;
    std::string typed_;
};
DBV_IMPLEMENT_CLASS(TMainForm)

std::string AbsolutePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return name;
    return std::string(buf) + "/" + name;
}

// Renders the main window headless and writes it to png (relative names in the current
// directory, else in the temporary directory).
int RenderToPng(std::string png, bool noDisplay) {
    THeadlessBackend backend;
    THeadlessBackend::Scope scope(backend);
    TMainForm* form = nullptr;
    Application->CreateForm(form);
    form->Show();
    Application->ProcessMessages();
    try {
        SaveFormToPng(form, png);
    } catch (const Exception&) {
        if (png.find('/') != std::string::npos) throw;
        const char* tmp = std::getenv("TMPDIR");
        png = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + png;
        SaveFormToPng(form, png);
    }
    png = AbsolutePath(png);
    if (noDisplay)
        std::printf("dbvantor: no display; rendered the main window to %s\n", png.c_str());
    else
        std::printf("dbvantor: rendered the main window to %s\n", png.c_str());
    std::fflush(stdout);
    form->Free();
    return 0;
}

}  // namespace

// A sanitized build reports leaks at exit. SDL starts D-Bus and never shuts it down, so D-Bus
// keeps its global data to the end: that third-party leak alone is not reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
    std::string png;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--png") && i + 1 < argc) {
            png = argv[++i];
        } else if (!std::strcmp(argv[i], "--trace")) {
            gTrace = true;
        } else {
            std::fprintf(stderr, "usage: dbvantor [--png FILE] [--trace]\n");
            return 2;
        }
    }
    try {
        Application->SetTitle("DB Vantor");
        if (!png.empty()) return RenderToPng(png, false);
        std::string why;
        std::unique_ptr<TSdlBackend> sdl = TSdlBackend::Open(&why);
        if (!sdl) {
            Trace(why);
            return RenderToPng("dbvantor.png", true);
        }
        SetWindowBackend(sdl.get());
        TMainForm* form = nullptr;
        Application->CreateForm(form);
        form->Show();
        Trace("ready");
        Application->Run();
        Trace("closing");
        form->Free();
        SetWindowBackend(nullptr);
        sdl.reset();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dbvantor: %s\n", e.what());
        return 1;
    }
}
