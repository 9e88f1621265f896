// The common dialogs: open and save file, find, font. Each shows a form of the window
// system (the file chooser, the find box, the font chooser) and can be scripted by tests
// like any modal form (testing.h has responders for them).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "controls/forms.h"

namespace vcl {

class TCommonDialog : public TComponent {
    DBV_CLASS(TCommonDialog, TComponent)
public:
    explicit TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
    bool GetCtl3D() const { return ctl3D_; }
    void SetCtl3D(bool v) { ctl3D_ = v; }
    int GetHelpContext() const { return helpContext_; }
    void SetHelpContext(int v) { helpContext_ = v; }
    // Shows the dialog; true when the user confirmed it.
    virtual bool Execute() = 0;
    // The form while the dialog shows (null otherwise).
    TCustomForm* Form() const { return form_; }
    // Run when the dialog's form has shown and when it closes.
    TNotifyEvent OnShow;
    TNotifyEvent OnClose;

protected:
    virtual void DoShow();
    virtual void DoClose();
    // Runs the form modally with OnShow / OnClose around it; frees it afterwards.
    TModalResult RunModal(TCustomForm* f);
    // Sets a new dialog form up (freeing it when that fails), runs it: true for OK.
    bool RunSetUp(TCustomForm* f, const std::function<void()>& setup);
    TCustomForm* form_ = nullptr;

private:
    bool ctl3D_ = true;
    int helpContext_ = 0;
};

DBV_ENUM(TOpenOption, ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp,
         ofNoValidate, ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist,
         ofFileMustExist, ofCreatePrompt, ofShareAware, ofNoReadOnlyReturn,
         ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames, ofOldStyleDialog,
         ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing);
using TOpenOptions = TSet<TOpenOption>;

// One entry of a filter text: "Text files|*.txt;*.text".
struct TFileFilter {
    std::string Name;
    std::vector<std::string> Masks;
};
// "Name|mask;mask|Name|mask" into entries (a name without a mask gets "*").
std::vector<TFileFilter> ParseFilter(const std::string& filter);

class TOpenDialog : public TCommonDialog {
    DBV_CLASS(TOpenDialog, TCommonDialog)
public:
    explicit TOpenDialog(TComponent* AOwner);
    // The chosen file, a full path after Execute; a preset name (with or without directory)
    // is offered in the name field.
    const std::string& GetFileName() const { return fileName_; }
    void SetFileName(const std::string& v) { fileName_ = v; }
    // Every chosen file (one unless ofAllowMultiSelect lets the name field list several,
    // separated by spaces and quoted).
    const std::vector<std::string>& Files() const { return files_; }
    const std::string& GetFilter() const { return filter_; }
    void SetFilter(const std::string& v) { filter_ = v; }
    // 1-based; the entry shown first and, after Execute, the one chosen last.
    int GetFilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int v) { filterIndex_ = v; }
    // Where the chooser starts when FileName has no directory (empty: the working directory).
    const std::string& GetInitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& v) { initialDir_ = v; }
    // Added (with a dot) to a chosen name that has no extension.
    const std::string& GetDefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& v);
    // The caption (empty: "Open" / "Save As").
    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& v) { title_ = v; }
    TOpenOptions GetOptions() const { return options_; }
    void SetOptions(TOpenOptions v) { options_ = v; }
    bool Execute() override;
    // Runs when OK is pressed with a name that passed the checks; false keeps the
    // dialog open.
    TCloseQueryEvent OnCanClose;

protected:
    virtual bool IsSave() const { return false; }

private:
    friend class TFileDialogForm;
    std::string fileName_, filter_, initialDir_, defaultExt_, title_;
    std::vector<std::string> files_;
    int filterIndex_ = 1;
    TOpenOptions options_{ofHideReadOnly};
};

class TSaveDialog : public TOpenDialog {
    DBV_CLASS(TSaveDialog, TOpenDialog)
public:
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}

protected:
    bool IsSave() const override { return true; }
};

// ---- find ----
DBV_ENUM(TFindOption, frDown, frFindNext, frHideMatchCase, frHideWholeWord, frHideUpDown,
         frMatchCase, frDisableMatchCase, frDisableUpDown, frDisableWholeWord, frReplace,
         frReplaceAll, frWholeWord, frShowHelp);
using TFindOptions = TSet<TFindOption>;

// Modeless: Execute shows the find box and returns at once; "Find Next" copies the text and
// the choices into FindText and Options (with frFindNext) and runs OnFind; Cancel or
// CloseDialog hides the box.
class TFindDialog : public TCommonDialog {
    DBV_CLASS(TFindDialog, TCommonDialog)
public:
    explicit TFindDialog(TComponent* AOwner);
    ~TFindDialog() override;
    const std::string& GetFindText() const { return findText_; }
    void SetFindText(const std::string& v);
    TFindOptions GetOptions() const { return options_; }
    void SetOptions(TFindOptions v);
    // Where the box shows (screen); -1 / -1 centres it on first show.
    TPoint GetPosition() const { return position_; }
    void SetPosition(TPoint p);
    bool Execute() override;
    void CloseDialog();
    // The find box's "Find Next" step, as a click on it runs it.
    void FindNext();
    TNotifyEvent OnFind;

private:
    friend class TFindForm;
    void Sync();
    std::string findText_;
    TFindOptions options_{frDown};
    TPoint position_{-1, -1};
    TCustomForm* findForm_ = nullptr;
};

// ---- font ----
DBV_ENUM(TFontDialogOption, fdAnsiOnly, fdTrueTypeOnly, fdEffects, fdFixedPitchOnly,
         fdForceFontExist, fdNoFaceSel, fdNoOEMFonts, fdNoSimulations, fdNoSizeSel,
         fdNoStyleSel, fdNoVectorFonts, fdShowHelp, fdWysiwyg, fdLimitSize, fdScalableOnly,
         fdApplyButton);
using TFontDialogOptions = TSet<TFontDialogOption>;

// The font faces the graphics layer renders, sorted (each maps to an installed font file).
const std::vector<std::string>& ScreenFonts();
// Whether a face is rendered with a fixed-pitch font.
bool IsFixedPitchFace(const std::string& face);

// Execute shows the font chooser with Font preset: face list, size list and field, style
// list, strike-out and underline with fdEffects, a sample; OK copies the choice into Font.
class TFontDialog : public TCommonDialog {
    DBV_CLASS(TFontDialog, TCommonDialog)
public:
    explicit TFontDialog(TComponent* AOwner);
    ~TFontDialog() override;
    TFont* GetFont() const { return font_; }
    void SetFont(TFont* v) { font_->Assign(v); }
    TFontDialogOptions GetOptions() const { return options_; }
    void SetOptions(TFontDialogOptions v) { options_ = v; }
    // With fdLimitSize, the sizes offered and accepted (points; 0: no limit).
    int GetMinFontSize() const { return minSize_; }
    void SetMinFontSize(int v) { minSize_ = v; }
    int GetMaxFontSize() const { return maxSize_; }
    void SetMaxFontSize(int v) { maxSize_ = v; }
    bool Execute() override;

private:
    friend class TFontForm;
    TFont* font_;
    TFontDialogOptions options_{fdEffects};
    int minSize_ = 0, maxSize_ = 0;
};

}  // namespace vcl
