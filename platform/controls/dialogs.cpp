#include "controls/dialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <filesystem>

#include "controls/buttons.h"
#include "controls/dlgparts.h"
#include "controls/edit.h"
#include "controls/msgbox.h"
#include "rtl/sysutils.h"

namespace vcl {

using namespace win;

// =============================================================================================
// TCommonDialog

DBV_PUBLISHED(TCommonDialog) {
    b.Protected();
    b.Bool("Ctl3D", &TCommonDialog::GetCtl3D, &TCommonDialog::SetCtl3D, true);
    b.Int("HelpContext", &TCommonDialog::GetHelpContext, &TCommonDialog::SetHelpContext, 0).TypeName =
        "THelpContext";
    b.Event("OnShow", "TNotifyEvent", &TCommonDialog::OnShow);
    b.Event("OnClose", "TNotifyEvent", &TCommonDialog::OnClose);
}

void TCommonDialog::DoShow() {
    if (OnShow) OnShow(this);
}

void TCommonDialog::DoClose() {
    if (OnClose) OnClose(this);
}

TModalResult TCommonDialog::RunModal(TCustomForm* f) {
    form_ = f;
    f->OnShow = [this](TObject*) { DoShow(); };
    TModalResult r = mrNone;
    try {
        r = f->ShowModal();
    } catch (...) {
        form_ = nullptr;
        f->Free();
        throw;
    }
    form_ = nullptr;
    f->Free();
    DoClose();
    return r;
}

bool TCommonDialog::RunSetUp(TCustomForm* f, const std::function<void()>& setup) {
    try {
        setup();
    } catch (...) {
        f->Free();
        throw;
    }
    return RunModal(f) == mrOk;
}

// =============================================================================================
// Filters and masks

std::vector<TFileFilter> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filter.size()) {
        size_t bar = filter.find('|', start);
        if (bar == std::string::npos) bar = filter.size();
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<TFileFilter> out;
    for (size_t i = 0; i + 1 <= parts.size(); i += 2) {
        TFileFilter f;
        f.Name = Trim(parts[i]);
        std::string masks = i + 1 < parts.size() ? parts[i + 1] : std::string();
        size_t s = 0;
        while (s <= masks.size()) {
            size_t semi = masks.find(';', s);
            if (semi == std::string::npos) semi = masks.size();
            std::string m = Trim(masks.substr(s, semi - s));
            if (!m.empty()) f.Masks.push_back(m);
            s = semi + 1;
        }
        if (f.Masks.empty()) f.Masks.push_back("*");
        if (f.Name.empty() && i + 1 >= parts.size()) break;
        out.push_back(f);
    }
    return out;
}

// =============================================================================================
// The file chooser

namespace {
bool IsDir(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsFile(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
std::string CurrentDir() {
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) return buf;
    return "/";
}
std::string Normal(const std::string& p) {
    std::string s = std::filesystem::path(p).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s.empty() ? std::string("/") : s;
}
std::string Join(const std::string& dir, const std::string& name) {
    if (!name.empty() && name[0] == '/') return Normal(name);
    if (name.size() >= 2 && name[0] == '~' && name[1] == '/')
        if (const char* home = std::getenv("HOME")) return Normal(std::string(home) + name.substr(1));
    return Normal(dir + "/" + name);
}
bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }
TDialogLabel* AddLabel(TCustomForm* f, const std::string& caption, int x, int y) {
    auto* l = Create<TDialogLabel>(f);
    l->SetParent(f);
    l->SetShowAccelChar(true);
    l->SetCaption(caption);
    l->AutoSizeTo(0);
    l->SetBounds(x, y, l->GetWidth(), l->GetHeight());
    return l;
}
}  // namespace

class TFileDialogForm : public TDialogForm {
    DBV_CLASS(TFileDialogForm, TDialogForm)
public:
    explicit TFileDialogForm(TComponent* AOwner) : TDialogForm(AOwner) {}
    void Setup(TOpenDialog* dlg);
    // Lists the folder and its files for the chosen filter.
    void Navigate(const std::string& dir);
    void Accept();
    const std::string& Dir() const { return dir_; }

    TDialogLabel* DirLabel = nullptr;
    TDialogList* DirList = nullptr;
    TDialogList* FileList = nullptr;
    TEdit* FileNameEdit = nullptr;
    TDialogChoice* FilterChoice = nullptr;
    TDialogCheckBox* ReadOnlyCheck = nullptr;

private:
    void RefreshFiles();
    TOpenDialog* dlg_ = nullptr;
    std::vector<TFileFilter> filters_;
    std::string dir_, customMask_;
};
DBV_IMPLEMENT_CLASS(TFileDialogForm)

void TFileDialogForm::Setup(TOpenDialog* dlg) {
    dlg_ = dlg;
    SetBorderStyle(bsDialog);
    std::string title = dlg->GetTitle();
    if (title.empty()) title = dlg->IsSave() ? "Save As" : "Open";
    SetCaption(title);
    SetClientWidth(444);
    SetClientHeight(dlg->GetOptions().Contains(ofHideReadOnly) || dlg->IsSave() ? 292 : 312);
    const int m = 8;
    AddLabel(this, "Folder:", m, m);
    DirLabel = AddLabel(this, "", 60, m);
    DirLabel->SetName("DirLabel");
    DirLabel->SetShowAccelChar(false);
    TDialogLabel* dirsLabel = AddLabel(this, "Fol&ders:", m, 28);
    DirList = Create<TDialogList>(this);
    dirsLabel->SetFocusControl(DirList);
    DirList->SetName("DirList");
    DirList->SetParent(this);
    DirList->SetBounds(m, 44, 200, 170);
    TDialogLabel* filesLabel = AddLabel(this, "F&iles:", 216, 28);
    FileList = Create<TDialogList>(this);
    filesLabel->SetFocusControl(FileList);
    FileList->SetName("FileList");
    FileList->SetParent(this);
    FileList->SetBounds(216, 44, 220, 170);
    TDialogLabel* nameLabel = AddLabel(this, "File &name:", m, 226);
    FileNameEdit = Create<TEdit>(this);
    nameLabel->SetFocusControl(FileNameEdit);
    FileNameEdit->SetName("FileNameEdit");
    FileNameEdit->SetParent(this);
    FileNameEdit->SetBounds(96, 222, 250, 21);
    TDialogLabel* typeLabel = AddLabel(this, dlg->IsSave() ? "Save as &type:" : "Files of &type:", m, 256);
    FilterChoice = Create<TDialogChoice>(this);
    typeLabel->SetFocusControl(FilterChoice);
    FilterChoice->SetName("FilterChoice");
    FilterChoice->SetParent(this);
    FilterChoice->SetBounds(96, 252, 250, 21);
    TButton* ok = AddDialogButton(this, dlg->IsSave() ? "&Save" : "&Open", mrNone);
    ok->SetName("OKButton");
    ok->SetDefault(true);
    ok->SetBounds(358, 220, 78, 25);
    ok->OnClick = [this](TObject*) { Accept(); };
    TButton* cancel = AddDialogButton(this, "Cancel", mrCancel);
    cancel->SetName("CancelButton");
    cancel->SetCancel(true);
    cancel->SetBounds(358, 250, 78, 25);
    if (dlg->GetOptions().Contains(ofShowHelp)) {
        TButton* help = AddDialogButton(this, "&Help", mrNone);
        help->SetName("HelpButton");
        help->SetBounds(358, GetClientHeight() - 33 + 4, 78, 25);
        int ctx = dlg->GetHelpContext();
        help->OnClick = [ctx](TObject*) {
            MessageDlg("No help is available for this dialog.", mtInformation, {mbOK}, ctx);
        };
    }
    if (!dlg->GetOptions().Contains(ofHideReadOnly) && !dlg->IsSave()) {
        ReadOnlyCheck = Create<TDialogCheckBox>(this);
        ReadOnlyCheck->SetName("ReadOnlyCheck");
        ReadOnlyCheck->SetParent(this);
        ReadOnlyCheck->SetCaption("Open as &read-only");
        ReadOnlyCheck->SetBounds(96, 282, 200, 17);
        ReadOnlyCheck->SetChecked(dlg->GetOptions().Contains(ofReadOnly));
    }

    filters_ = ParseFilter(dlg->GetFilter());
    if (filters_.empty()) filters_.push_back({"All files", {"*"}});
    std::vector<std::string> names;
    for (const TFileFilter& f : filters_) names.push_back(f.Name);
    FilterChoice->SetItems(names);
    FilterChoice->SetItemIndex(std::clamp(dlg->GetFilterIndex(), 1, int(filters_.size())) - 1);
    FilterChoice->OnChange = [this](TObject*) {
        customMask_.clear();
        RefreshFiles();
    };
    DirList->OnActivate = [this](TObject*) {
        std::string d = DirList->Selected();
        Navigate(d == ".." ? Normal(dir_ + "/..") : Join(dir_, d));
    };
    FileList->OnChange = [this](TObject*) {
        if (FileList->GetItemIndex() >= 0) FileNameEdit->SetText(FileList->Selected());
    };
    FileList->OnActivate = [this](TObject*) { Accept(); };

    // Start where the preset name points, else in InitialDir, else the working directory.
    std::string start = dlg->GetInitialDir().empty() ? CurrentDir() : Join(CurrentDir(), dlg->GetInitialDir());
    std::string preset = dlg->GetFileName();
    std::string presetDir = ExtractFilePath(preset);
    if (!presetDir.empty()) {
        std::string d = Join(start, presetDir);
        if (IsDir(d)) start = d;
        preset = ExtractFileName(preset);
    }
    Navigate(IsDir(start) ? start : CurrentDir());
    FileNameEdit->SetText(preset);
    SetActiveControl(FileNameEdit);
    CenterOnScreen(this);
}

void TFileDialogForm::Navigate(const std::string& dir) {
    dir_ = Normal(dir);
    DirLabel->SetCaption(dir_);
    DirLabel->AutoSizeTo(0);
    std::vector<std::string> dirs;
    if (dir_ != "/") dirs.push_back("..");
    std::vector<std::string> sub;
    if (DIR* d = ::opendir(dir_.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.empty() || n[0] == '.') continue;
            if (IsDir(dir_ + "/" + n)) sub.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(sub.begin(), sub.end(), [](const std::string& a, const std::string& b) {
        return CompareText(a, b) < 0;
    });
    dirs.insert(dirs.end(), sub.begin(), sub.end());
    DirList->SetItems(dirs);
    RefreshFiles();
}

void TFileDialogForm::RefreshFiles() {
    std::vector<std::string> masks;
    if (!customMask_.empty()) masks.push_back(customMask_);
    else if (FilterChoice->GetItemIndex() >= 0) masks = filters_[size_t(FilterChoice->GetItemIndex())].Masks;
    std::vector<std::string> files;
    if (DIR* d = ::opendir(dir_.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.empty() || n[0] == '.' || !IsFile(dir_ + "/" + n)) continue;
            for (const std::string& m : masks)
                if (MatchesMask(n, m)) {
                    files.push_back(n);
                    break;
                }
        }
        ::closedir(d);
    }
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return CompareText(a, b) < 0;
    });
    FileList->SetItems(files);
}

void TFileDialogForm::Accept() {
    std::string name = Trim(FileNameEdit->GetText());
    if (name.empty()) return;
    if (HasWildcard(name)) {
        // A mask typed as the name lists what matches it.
        std::string dirPart = ExtractFilePath(name);
        if (!dirPart.empty()) Navigate(Join(dir_, dirPart));
        customMask_ = ExtractFileName(name);
        RefreshFiles();
        return;
    }
    std::string path = Join(dir_, name);
    if (IsDir(path)) {
        Navigate(path);
        FileNameEdit->SetText("");
        return;
    }
    TOpenOptions o = dlg_->GetOptions();
    if (ExtractFileExt(ExtractFileName(path)).empty() && !dlg_->GetDefaultExt().empty()) {
        path += "." + dlg_->GetDefaultExt();
        // File names here are case-sensitive, the extensions programs ask for are often
        // written in capitals: an existing file that differs only in the case of the
        // added extension is the one meant.
        if (!IsFile(path)) {
            std::string dir = ExtractFilePath(path), want = ExtractFileName(path);
            std::string stem = want.substr(0, want.size() - dlg_->GetDefaultExt().size());
            if (DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str())) {
                while (dirent* e = ::readdir(d)) {
                    std::string n = e->d_name;
                    if (n.size() == want.size() && n.compare(0, stem.size(), stem) == 0 &&
                        SameText(n, want) && IsFile(dir + n)) {
                        path = dir + n;
                        break;
                    }
                }
                ::closedir(d);
            }
        }
    }
    std::string dir = ExtractFilePath(path);
    if ((o.Contains(ofPathMustExist) || o.Contains(ofFileMustExist)) && !IsDir(dir.empty() ? "/" : dir)) {
        MessageDlg(path + "\nPath does not exist.\nCheck the path and try again.", mtWarning, {mbOK}, 0);
        return;
    }
    bool exists = IsFile(path);
    if (o.Contains(ofFileMustExist) && !exists) {
        MessageDlg(path + "\nFile not found.\nCheck the file name and try again.", mtWarning, {mbOK}, 0);
        return;
    }
    if (dlg_->IsSave() && o.Contains(ofOverwritePrompt) && exists &&
        MessageDlg(path + " already exists.\nDo you want to replace it?", mtWarning, mbYesNo, 0) != mrYes)
        return;
    if (o.Contains(ofCreatePrompt) && !exists &&
        MessageDlg(path + "\nThis file does not exist.\nDo you want to create it?", mtConfirmation, mbYesNo, 0) !=
            mrYes)
        return;
    if (o.Contains(ofNoReadOnlyReturn) && exists && ::access(path.c_str(), W_OK) != 0) {
        MessageDlg(path + "\nThis file is read-only.\nUse a different file name.", mtWarning, {mbOK}, 0);
        return;
    }
    bool can = true;
    if (dlg_->OnCanClose) dlg_->OnCanClose(dlg_, can);
    if (!can) return;
    dlg_->fileName_ = path;
    dlg_->files_ = {path};
    dlg_->filterIndex_ = FilterChoice->GetItemIndex() + 1;
    TOpenOptions out = o;
    std::string ext = ExtractFileExt(path);
    if (!dlg_->GetDefaultExt().empty() && !SameText(ext, "." + dlg_->GetDefaultExt()))
        out.Include(ofExtensionDifferent);
    else
        out.Exclude(ofExtensionDifferent);
    if (ReadOnlyCheck) {
        if (ReadOnlyCheck->GetChecked()) out.Include(ofReadOnly);
        else out.Exclude(ofReadOnly);
    }
    dlg_->options_ = out;
    SetModalResult(mrOk);
}

// =============================================================================================
// TOpenDialog

DBV_PUBLISHED(TOpenDialog) {
    b.String("DefaultExt", &TOpenDialog::GetDefaultExt, &TOpenDialog::SetDefaultExt);
    b.String("FileName", &TOpenDialog::GetFileName, &TOpenDialog::SetFileName, "TFileName");
    b.String("Filter", &TOpenDialog::GetFilter, &TOpenDialog::SetFilter);
    b.Int("FilterIndex", &TOpenDialog::GetFilterIndex, &TOpenDialog::SetFilterIndex, 1);
    b.String("InitialDir", &TOpenDialog::GetInitialDir, &TOpenDialog::SetInitialDir);
    b.Set("Options", "TOpenOptions", &TOpenDialog::GetOptions, &TOpenDialog::SetOptions,
          TOpenOptions{ofHideReadOnly});
    b.String("Title", &TOpenDialog::GetTitle, &TOpenDialog::SetTitle);
    b.Event("OnCanClose", "TCloseQueryEvent", &TOpenDialog::OnCanClose);
    b.Publish({"Ctl3D", "HelpContext", "OnClose", "OnShow"});
}

DBV_PUBLISHED(TSaveDialog) { b.Publish({}); }

TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}

void TOpenDialog::SetDefaultExt(const std::string& v) {
    // Kept without a leading dot.
    defaultExt_ = !v.empty() && v[0] == '.' ? v.substr(1) : v;
}

bool TOpenDialog::Execute() {
    TFileDialogForm* f = Create<TFileDialogForm>(Application);
    return RunSetUp(f, [&] { f->Setup(this); });
}

// =============================================================================================
// TFindDialog

class TFindForm : public TDialogForm {
    DBV_CLASS(TFindForm, TDialogForm)
public:
    explicit TFindForm(TComponent* AOwner) : TDialogForm(AOwner) {}
    TFindDialog* Dialog = nullptr;
    TEdit* FindEdit = nullptr;
    TDialogCheckBox *WholeWord = nullptr, *MatchCase = nullptr, *Up = nullptr, *Down = nullptr;
    TButton* FindNextButton = nullptr;

protected:
    void DoClose(TCloseAction& Action) override {
        TDialogForm::DoClose(Action);
        if (Action != caNone) Action = caHide;
        if (Dialog) Dialog->DoClose();
    }
};
DBV_IMPLEMENT_CLASS(TFindForm)

DBV_PUBLISHED(TFindDialog) {
    b.String("FindText", &TFindDialog::GetFindText, &TFindDialog::SetFindText);
    b.Set("Options", "TFindOptions", &TFindDialog::GetOptions, &TFindDialog::SetOptions,
          TFindOptions{frDown});
    b.Event("OnFind", "TNotifyEvent", &TFindDialog::OnFind);
    b.Publish({"Ctl3D", "HelpContext", "OnClose", "OnShow"});
}

TFindDialog::TFindDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}

TFindDialog::~TFindDialog() {
    if (findForm_) findForm_->Free();
}

void TFindDialog::SetFindText(const std::string& v) {
    findText_ = v;
    Sync();
}

void TFindDialog::SetOptions(TFindOptions v) {
    options_ = v;
    Sync();
}

void TFindDialog::SetPosition(TPoint p) {
    position_ = p;
    if (findForm_) findForm_->SetBounds(p.X, p.Y, findForm_->GetWidth(), findForm_->GetHeight());
}

// The box shows what FindText and Options say.
void TFindDialog::Sync() {
    auto* f = static_cast<TFindForm*>(findForm_);
    if (!f) return;
    f->FindEdit->SetText(findText_);
    f->FindNextButton->SetEnabled(!findText_.empty());
    f->WholeWord->SetChecked(options_.Contains(frWholeWord));
    f->WholeWord->SetVisible(!options_.Contains(frHideWholeWord));
    f->WholeWord->SetEnabled(!options_.Contains(frDisableWholeWord));
    f->MatchCase->SetChecked(options_.Contains(frMatchCase));
    f->MatchCase->SetVisible(!options_.Contains(frHideMatchCase));
    f->MatchCase->SetEnabled(!options_.Contains(frDisableMatchCase));
    bool down = options_.Contains(frDown);
    (down ? f->Down : f->Up)->SetChecked(true);
    for (TDialogCheckBox* c : {f->Up, f->Down}) {
        c->SetVisible(!options_.Contains(frHideUpDown));
        c->SetEnabled(!options_.Contains(frDisableUpDown));
    }
}

bool TFindDialog::Execute() {
    if (!findForm_) {
        auto* f = Create<TFindForm>(Application);
        findForm_ = f;
        f->Dialog = this;
        f->SetBorderStyle(bsDialog);
        f->SetFormStyle(fsStayOnTop);
        f->SetCaption("Find");
        f->SetClientWidth(356);
        f->SetClientHeight(96);
        TDialogLabel* what = AddLabel(f, "Fi&nd what:", 8, 12);
        f->FindEdit = Create<TEdit>(f);
        what->SetFocusControl(f->FindEdit);
        f->FindEdit->SetName("FindEdit");
        f->FindEdit->SetParent(f);
        f->FindEdit->SetBounds(72, 8, 188, 21);
        f->FindEdit->OnChange = [f](TObject*) {
            f->FindNextButton->SetEnabled(!f->FindEdit->GetText().empty());
        };
        f->WholeWord = Create<TDialogCheckBox>(f);
        f->WholeWord->SetName("WholeWordCheck");
        f->WholeWord->SetParent(f);
        f->WholeWord->SetCaption("Match &whole word only");
        f->WholeWord->SetBounds(8, 44, 150, 17);
        f->MatchCase = Create<TDialogCheckBox>(f);
        f->MatchCase->SetName("MatchCaseCheck");
        f->MatchCase->SetParent(f);
        f->MatchCase->SetCaption("Match &case");
        f->MatchCase->SetBounds(8, 68, 150, 17);
        AddLabel(f, "Direction", 168, 44);
        f->Up = Create<TDialogCheckBox>(f);
        f->Up->SetName("UpRadio");
        f->Up->SetParent(f);
        f->Up->SetRadioStyle(true);
        f->Up->SetCaption("&Up");
        f->Up->SetBounds(168, 64, 44, 17);
        f->Down = Create<TDialogCheckBox>(f);
        f->Down->SetName("DownRadio");
        f->Down->SetParent(f);
        f->Down->SetRadioStyle(true);
        f->Down->SetCaption("&Down");
        f->Down->SetBounds(214, 64, 56, 17);
        f->FindNextButton = AddDialogButton(f, "&Find Next", mrNone);
        f->FindNextButton->SetName("FindNextButton");
        f->FindNextButton->SetDefault(true);
        f->FindNextButton->SetBounds(272, 8, 78, 25);
        f->FindNextButton->OnClick = [this](TObject*) { FindNext(); };
        TButton* cancel = AddDialogButton(f, "Cancel", mrNone);
        cancel->SetName("CancelButton");
        cancel->SetCancel(true);
        cancel->SetBounds(272, 38, 78, 25);
        cancel->OnClick = [this](TObject*) { CloseDialog(); };
        if (options_.Contains(frShowHelp)) {
            TButton* help = AddDialogButton(f, "&Help", mrNone);
            help->SetName("HelpButton");
            help->SetBounds(272, 68, 78, 25);
        }
        if (position_.X >= 0 && position_.Y >= 0)
            f->SetBounds(position_.X, position_.Y, f->GetWidth(), f->GetHeight());
        else
            CenterOnScreen(f);
    }
    Sync();
    form_ = findForm_;
    findForm_->Show();
    findForm_->SetActiveControl(static_cast<TFindForm*>(findForm_)->FindEdit);
    static_cast<TFindForm*>(findForm_)->FindEdit->SelectAll();
    DoShow();
    return true;
}

void TFindDialog::FindNext() {
    if (auto* f = static_cast<TFindForm*>(findForm_); f && f->GetVisible()) {
        findText_ = f->FindEdit->GetText();
        auto set = [&](TFindOption o, bool on) {
            if (on) options_.Include(o);
            else options_.Exclude(o);
        };
        set(frWholeWord, f->WholeWord->GetChecked());
        set(frMatchCase, f->MatchCase->GetChecked());
        set(frDown, f->Down->GetChecked());
    }
    options_.Include(frFindNext);
    if (OnFind) OnFind(this);
}

void TFindDialog::CloseDialog() {
    if (!findForm_ || !findForm_->GetVisible()) return;
    findForm_->Hide();
    form_ = nullptr;
    DoClose();
}

// =============================================================================================
// Fonts

const std::vector<std::string>& ScreenFonts() {
    static const std::vector<std::string> faces = [] {
        static const char* const known[] = {
            "Arial",           "Courier",          "Courier New",      "DejaVu Sans",
            "DejaVu Sans Mono", "DejaVu Serif",    "Fixedsys",         "Liberation Mono",
            "Liberation Sans", "Liberation Serif", "MS Sans Serif",    "MS Serif",
            "Small Fonts",     "System",           "Tahoma",           "Times New Roman",
            "Verdana"};
        std::vector<std::string> v;
        for (const char* n : known)
            if (!MapFontFile(n, false, false, fpDefault).empty()) v.push_back(n);
        std::sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) {
            return CompareText(a, b) < 0;
        });
        return v;
    }();
    return faces;
}

bool IsFixedPitchFace(const std::string& face) {
    std::string f = MapFontFile(face, false, false, fpDefault);
    return f.find("Mono") != std::string::npos || f.find("mono") != std::string::npos;
}

namespace {
const int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};
const char* const kStyles[] = {"Regular", "Italic", "Bold", "Bold Italic"};
struct NamedColor {
    const char* Name;
    TColor Color;
};
const NamedColor kColors[] = {{"Black", clBlack},   {"Maroon", clMaroon}, {"Green", clGreen},
                              {"Olive", clOlive},   {"Navy", clNavy},     {"Purple", clPurple},
                              {"Teal", clTeal},     {"Gray", clGray},     {"Silver", clSilver},
                              {"Red", clRed},       {"Lime", clLime},     {"Yellow", clYellow},
                              {"Blue", clBlue},     {"Fuchsia", clFuchsia}, {"Aqua", clAqua},
                              {"White", clWhite}};

class TFontSample : public TGraphicControl {
    DBV_CLASS(TFontSample, TGraphicControl)
public:
    explicit TFontSample(TComponent* AOwner) : TGraphicControl(AOwner) {}

protected:
    void Paint() override {
        TCanvas* c = GetCanvas();
        TRect r = GetClientRect();
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(clBtnFace);
        c->FillRect(r);
        TRect e = r;
        c->DrawEdge(e, EDGE_ETCHED, BF_RECT);
        c->GetFont()->Assign(GetFont());
        c->GetBrush()->SetStyle(bsClear);
        TRect t = r;
        InflateRect(t, -4, -4);
        c->IntersectClipRect(t);
        c->DrawText("AaBbYyZz", t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
};
DBV_IMPLEMENT_CLASS(TFontSample)
}  // namespace

class TFontForm : public TDialogForm {
    DBV_CLASS(TFontForm, TDialogForm)
public:
    explicit TFontForm(TComponent* AOwner) : TDialogForm(AOwner) {}
    void Setup(TFontDialog* dlg);
    void UpdateSample();
    bool Apply();
    TDialogList *FaceList = nullptr, *StyleList = nullptr, *SizeList = nullptr;
    TEdit* SizeEdit = nullptr;
    TDialogCheckBox *StrikeOut = nullptr, *Underline = nullptr;
    TDialogChoice* ColorChoice = nullptr;
    TFontSample* Sample = nullptr;

private:
    TFontDialog* dlg_ = nullptr;
    int Size() const {
        try {
            return StrToInt(Trim(SizeEdit->GetText()));
        } catch (...) {
            return 0;
        }
    }
};
DBV_IMPLEMENT_CLASS(TFontForm)

void TFontForm::Setup(TFontDialog* dlg) {
    dlg_ = dlg;
    SetBorderStyle(bsDialog);
    SetCaption("Font");
    SetClientWidth(430);
    SetClientHeight(300);
    TFontDialogOptions o = dlg->GetOptions();
    TFont* font = dlg->GetFont();
    TDialogLabel* faceLabel = AddLabel(this, "&Font:", 8, 8);
    FaceList = Create<TDialogList>(this);
    faceLabel->SetFocusControl(FaceList);
    FaceList->SetName("FaceList");
    FaceList->SetParent(this);
    FaceList->SetBounds(8, 24, 160, 150);
    std::vector<std::string> faces;
    for (const std::string& f : ScreenFonts())
        if (!o.Contains(fdFixedPitchOnly) || IsFixedPitchFace(f)) faces.push_back(f);
    FaceList->SetItems(faces);
    FaceList->SetEnabled(!o.Contains(fdNoFaceSel));
    TDialogLabel* styleLabel = AddLabel(this, "Font st&yle:", 176, 8);
    StyleList = Create<TDialogList>(this);
    styleLabel->SetFocusControl(StyleList);
    StyleList->SetName("StyleList");
    StyleList->SetParent(this);
    StyleList->SetBounds(176, 24, 110, 150);
    StyleList->SetItems({kStyles[0], kStyles[1], kStyles[2], kStyles[3]});
    StyleList->SetEnabled(!o.Contains(fdNoStyleSel));
    TDialogLabel* sizeLabel = AddLabel(this, "&Size:", 294, 8);
    SizeEdit = Create<TEdit>(this);
    sizeLabel->SetFocusControl(SizeEdit);
    SizeEdit->SetName("SizeEdit");
    SizeEdit->SetParent(this);
    SizeEdit->SetBounds(294, 24, 50, 21);
    SizeList = Create<TDialogList>(this);
    SizeList->SetName("SizeList");
    SizeList->SetParent(this);
    SizeList->SetBounds(294, 48, 50, 126);
    std::vector<std::string> sizes;
    for (int s : kSizes) {
        if (o.Contains(fdLimitSize) && ((dlg->GetMinFontSize() && s < dlg->GetMinFontSize()) ||
                                        (dlg->GetMaxFontSize() && s > dlg->GetMaxFontSize())))
            continue;
        sizes.push_back(std::to_string(s));
    }
    SizeList->SetItems(sizes);
    SizeEdit->SetEnabled(!o.Contains(fdNoSizeSel));
    SizeList->SetEnabled(!o.Contains(fdNoSizeSel));
    int y = 184;
    if (o.Contains(fdEffects)) {
        AddLabel(this, "Effects", 8, y);
        StrikeOut = Create<TDialogCheckBox>(this);
        StrikeOut->SetName("StrikeOutCheck");
        StrikeOut->SetParent(this);
        StrikeOut->SetCaption("Stri&keout");
        StrikeOut->SetBounds(8, y + 18, 100, 17);
        StrikeOut->SetChecked(font->GetStyle().Contains(fsStrikeOut));
        Underline = Create<TDialogCheckBox>(this);
        Underline->SetName("UnderlineCheck");
        Underline->SetParent(this);
        Underline->SetCaption("&Underline");
        Underline->SetBounds(8, y + 40, 100, 17);
        Underline->SetChecked(font->GetStyle().Contains(fsUnderline));
        TDialogLabel* colorLabel = AddLabel(this, "&Color:", 8, y + 64);
        ColorChoice = Create<TDialogChoice>(this);
        colorLabel->SetFocusControl(ColorChoice);
        ColorChoice->SetName("ColorChoice");
        ColorChoice->SetParent(this);
        ColorChoice->SetBounds(8, y + 80, 120, 21);
        std::vector<std::string> names;
        int at = -1;
        for (const NamedColor& c : kColors) {
            if (ColorToRGB(font->GetColor()) == c.Color) at = int(names.size());
            names.push_back(c.Name);
        }
        if (at < 0) {
            names.push_back("Custom");
            at = int(names.size()) - 1;
        }
        ColorChoice->SetItems(names);
        ColorChoice->SetItemIndex(at);
        for (TNotifyEvent* e : {&StrikeOut->OnChange, &Underline->OnChange, &ColorChoice->OnChange})
            *e = [this](TObject*) { UpdateSample(); };
    }
    AddLabel(this, "Sample", 140, y);
    Sample = Create<TFontSample>(this);
    Sample->SetName("Sample");
    Sample->SetParent(this);
    Sample->SetBounds(140, y + 18, 204, 70);
    TButton* ok = AddDialogButton(this, "OK", mrNone);
    ok->SetName("OKButton");
    ok->SetDefault(true);
    ok->SetBounds(352, 24, 70, 25);
    ok->OnClick = [this](TObject*) {
        if (Apply()) SetModalResult(mrOk);
    };
    TButton* cancel = AddDialogButton(this, "Cancel", mrCancel);
    cancel->SetName("CancelButton");
    cancel->SetCancel(true);
    cancel->SetBounds(352, 54, 70, 25);
    if (o.Contains(fdShowHelp)) {
        TButton* help = AddDialogButton(this, "&Help", mrNone);
        help->SetName("HelpButton");
        help->SetBounds(352, 84, 70, 25);
    }

    // Preset from the font.
    int fi = FaceList->IndexOf(font->GetName());
    FaceList->SetItemIndex(fi >= 0 ? fi : FaceList->IndexOf("Arial"));
    TFontStyles st = font->GetStyle();
    StyleList->SetItemIndex((st.Contains(fsItalic) ? 1 : 0) + (st.Contains(fsBold) ? 2 : 0));
    SizeEdit->SetText(std::to_string(font->GetSize()));
    SizeList->SetItemIndex(SizeList->IndexOf(std::to_string(font->GetSize())));
    SizeList->OnChange = [this](TObject*) {
        if (SizeList->GetItemIndex() >= 0) SizeEdit->SetText(SizeList->Selected());
    };
    SizeEdit->OnChange = [this](TObject*) { UpdateSample(); };
    FaceList->OnChange = [this](TObject*) { UpdateSample(); };
    StyleList->OnChange = [this](TObject*) { UpdateSample(); };
    UpdateSample();
    SetActiveControl(FaceList);
    CenterOnScreen(this);
}

void TFontForm::UpdateSample() {
    if (!Sample) return;
    TFont* f = Sample->GetFont();
    f->Assign(dlg_->GetFont());
    if (FaceList->GetItemIndex() >= 0) f->SetName(FaceList->Selected());
    int size = Size();
    if (size > 0 && size < 500) f->SetSize(size);
    TFontStyles st;
    int s = std::max(0, StyleList->GetItemIndex());
    if (s & 1) st.Include(fsItalic);
    if (s & 2) st.Include(fsBold);
    if (StrikeOut ? StrikeOut->GetChecked() : dlg_->GetFont()->GetStyle().Contains(fsStrikeOut))
        st.Include(fsStrikeOut);
    if (Underline ? Underline->GetChecked() : dlg_->GetFont()->GetStyle().Contains(fsUnderline))
        st.Include(fsUnderline);
    f->SetStyle(st);
    if (ColorChoice && ColorChoice->GetItemIndex() >= 0 && ColorChoice->GetItemIndex() < int(std::size(kColors)))
        f->SetColor(kColors[ColorChoice->GetItemIndex()].Color);
    Sample->Invalidate();
}

bool TFontForm::Apply() {
    TFontDialog* d = dlg_;
    int size = Size();
    int lo = d->GetOptions().Contains(fdLimitSize) && d->GetMinFontSize() ? d->GetMinFontSize() : 1;
    int hi = d->GetOptions().Contains(fdLimitSize) && d->GetMaxFontSize() ? d->GetMaxFontSize() : 1638;
    if (size < lo || size > hi) {
        MessageDlg(Format("Size must be between %d and %d.", lo, hi), mtWarning, {mbOK}, 0);
        SizeEdit->SetFocus();
        return false;
    }
    UpdateSample();
    TFont* f = d->GetFont();
    f->Assign(Sample->GetFont());
    f->SetPitch(IsFixedPitchFace(f->GetName()) ? fpFixed : fpDefault);
    return true;
}

DBV_PUBLISHED(TFontDialog) {
    b.Object("Font", &TFontDialog::GetFont, &TFontDialog::SetFont);
    b.Set("Options", "TFontDialogOptions", &TFontDialog::GetOptions, &TFontDialog::SetOptions,
          TFontDialogOptions{fdEffects});
    b.Int("MinFontSize", &TFontDialog::GetMinFontSize, &TFontDialog::SetMinFontSize, 0);
    b.Int("MaxFontSize", &TFontDialog::GetMaxFontSize, &TFontDialog::SetMaxFontSize, 0);
    b.Publish({"Ctl3D", "HelpContext", "OnClose", "OnShow"});
}

TFontDialog::TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner) { font_ = Create<TFont>(); }

TFontDialog::~TFontDialog() { font_->Free(); }

bool TFontDialog::Execute() {
    TFontForm* f = Create<TFontForm>(Application);
    return RunSetUp(f, [&] { f->Setup(this); });
}

}  // namespace vcl
