// dbvantor: the program a person runs. A main window with a header, a toolbar, a table list and
// a work area, and a status line; one button opens a modal form, one shows a message. With a
// display it runs in real windows (SDL2); without one it renders the main window to a PNG.
//
//   dbvantor [--dir DIR] [--png FILE] [--trace]
//     --dir DIR   the folder of tables to list (default: the sample tables, written on first
//                 run to "samples" in the platform's system directory)
//     --png FILE  render the main window to FILE and exit (also with a display)
//     --trace     print a line to stdout for every action (scripted runs check them)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "backend/headless.h"
#include "bde/dbftable.h"
#include "backend/sdlbackend.h"
#include "controls/buttons.h"
#include "controls/extctrls.h"
#include "controls/forms.h"
#include "controls/menus.h"
#include "controls/msgbox.h"
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

// ---- the sample tables ----
// Real dBase files, written from the rows below the first time the program runs, so a person
// sees (and other programs can read) actual tables.
struct TSampleTable {
    const char* file;
    std::vector<bde::TDbfFieldDef> fields;
    std::vector<std::vector<const char*>> rows;  // values in the text form TDbfRecord::SetText takes
};

const std::vector<TSampleTable>& SampleTables() {
    static const std::vector<TSampleTable> tables = {
        {"CUSTOMER.DBF",
         {{"CUSTNO", 'N', 6, 0}, {"COMPANY", 'C', 30, 0}, {"CITY", 'C', 20, 0},
          {"COUNTRY", 'C', 16, 0}, {"SINCE", 'D', 0, 0}, {"ACTIVE", 'L', 0, 0}},
         {{"1221", "Kauai Dive Shoppe", "Kapaa Kauai", "US", "1988-04-14", "T"},
          {"1231", "Unisco", "Freeport", "Bahamas", "1990-02-03", "T"},
          {"1351", "Sight Diver", "Kato Paphos", "Cyprus", "1991-07-22", "F"},
          {"1354", "Cayman Divers World", "Grand Cayman", "Cayman Islands", "1989-11-30", "T"},
          {"1356", "Tom Sawyer Diving", "Christiansted", "Virgin Islands", "1992-05-06", "T"},
          {"1380", "Blue Jack Aqua Center", "Waipahu", "US", "1993-09-18", "F"},
          {"1384", "VIP Divers Club", "Christiansted", "Virgin Islands", "1994-01-09", "T"},
          {"1510", "Ocean Paradise", "Kailua-Kona", "US", "1995-03-27", "T"}}},
        {"ORDERS.DBF",
         {{"ORDERNO", 'N', 6, 0}, {"CUSTNO", 'N', 6, 0}, {"SALEDATE", 'D', 0, 0},
          {"AMOUNT", 'N', 10, 2}, {"PAID", 'L', 0, 0}},
         {{"1003", "1351", "1994-04-12", "1250.00", "T"},
          {"1004", "2156", "1994-04-17", "3915.50", "F"},
          {"1005", "1356", "1994-04-20", "420.75", "T"},
          {"1006", "1380", "1994-11-06", "2860.00", "T"},
          {"1007", "1384", "1995-05-01", "179.90", "F"}}},
        {"PARTS.DBF",
         {{"PARTNO", 'N', 6, 0}, {"DESCRIPT", 'C', 30, 0}, {"ONHAND", 'N', 6, 0},
          {"PRICE", 'N', 9, 2}, {"NOTES", 'M', 0, 0}},
         {{"900", "Dive kayak", "24", "3999.95", "Two seats, with a rudder."},
          {"912", "Underwater diver vehicle", "5", "1680.00", ""},
          {"1313", "Regulator System", "165", "250.00", "Balanced first stage."},
          {"1314", "Second Stage Regulator", "98", "365.00", ""}}},
    };
    return tables;
}

// Writes the sample tables into dir where they are missing.
void WriteSampleTables(const std::string& dir) {
    ForceDirectories(dir);
    for (const TSampleTable& t : SampleTables()) {
        const std::string path = JoinPath(dir, t.file);
        if (FileExists(path)) continue;
        bde::TDbfCreateOptions options;
        options.Level = 4;
        bde::TDbfTable::Create(path, t.fields, options);
        auto table = bde::TDbfTable::Open(path);
        bde::TDbfRecord rec(table);
        for (const auto& row : t.rows) {
            rec.Clear();
            for (size_t f = 0; f < row.size(); ++f) {
                if (t.fields[f].Type == 'M')
                    rec.SetMemo(int(f), row[f]);
                else
                    rec.SetText(int(f), row[f]);
            }
            table->Post(rec);
        }
    }
}

// The tables of dir with their record counts, as the list shows them.
std::vector<std::string> TableEntries(const std::string& dir) {
    std::vector<std::string> out;
    bde::TDbfOpenOptions readOnly;
    readOnly.ReadOnly = true;
    for (const std::string& name : ListFiles(dir, "*.dbf")) {  // the mask ignores case
        std::string entry = ExtractFileName(name);
        try {
            auto table = bde::TDbfTable::Open(JoinPath(dir, entry), readOnly);
            entry += Format("  (%u)", unsigned(table->RecordCount()));
        } catch (const std::exception&) {
            entry += "  (unreadable)";
        }
        out.push_back(entry);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string gTablesDir;

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

        BuildMenu();

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
        for (const std::string& t : TableEntries(gTablesDir)) {
            TPanel* row = NewPanel(this, side, alTop, 22, "   " + t);
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
    TMenuItem* NewItem(TMenuItem* parent, const std::string& caption, TNotifyEvent onClick = {},
                       const char* shortCut = nullptr) {
        auto* item = Create<TMenuItem>(this);
        item->SetCaption(caption);
        item->OnClick = std::move(onClick);
        if (shortCut) item->SetShortCut(TextToShortCut(shortCut));
        parent->Add(item);
        return item;
    }
    void BuildMenu() {
        auto* menu = Create<TMainMenu>(this);
        TMenuItem* file = NewItem(menu->GetItems(), "&File");
        NewItem(file, "&Settings...", [this](TObject*) { OpenSettings(); }, "Ctrl+S");
        NewItem(file, "-");
        NewItem(file, "E&xit", [this](TObject*) { Close(); });
        TMenuItem* help = NewItem(menu->GetItems(), "&Help");
        NewItem(help, "&About DB Vantor...", [this](TObject*) { ShowAMessage(); });
        SetMenu(menu);
    }
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
        ShowMessage("Every table is a plain dBase file you can copy: " + gTablesDir);
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
        } else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) {
            gTablesDir = argv[++i];
        } else if (!std::strcmp(argv[i], "--trace")) {
            gTrace = true;
        } else {
            std::fprintf(stderr, "usage: dbvantor [--dir DIR] [--png FILE] [--trace]\n");
            return 2;
        }
    }
    try {
        Application->SetTitle("DB Vantor");
        if (gTablesDir.empty()) {
            gTablesDir = JoinPath(SystemDirectory(), "samples");
            WriteSampleTables(gTablesDir);
        }
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
