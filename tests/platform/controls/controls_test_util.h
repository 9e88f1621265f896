// A small fixture for window-system tests: manual clock, headless backend, forms freed after.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "backend/headless.h"
#include "controls/buttons.h"
#include "controls/extctrls.h"
#include "controls/forms.h"
#include "controls/testing.h"

namespace vt = vcl::testing;

class WinTest : public ::testing::Test {
protected:
    vt::THeadlessSession session;
    vt::TTestClock& clock = session.clock;
    vcl::THeadlessBackend& backend = session.backend;
    std::vector<vcl::TComponent*> owned;

    void TearDown() override {
        // Forms the code under test freed itself are no longer on the screen's list.
        const auto& live = vcl::Screen->FormList();
        // Handlers of the test body must not outlive it.
        for (vcl::TComponent* c : owned)
            if (std::find(live.begin(), live.end(), c) != live.end()) {
                auto* f = static_cast<vcl::TCustomForm*>(c);
                f->OnActivate = f->OnDeactivate = f->OnDestroy = f->OnHide = f->OnShow = nullptr;
                f->OnResize = nullptr;
                f->OnClose = nullptr;
                f->OnCloseQuery = nullptr;
            }
        for (auto it = owned.rbegin(); it != owned.rend(); ++it)
            if (std::find(live.begin(), live.end(), *it) != live.end()) vcl::Free(*it);
        owned.clear();
        vcl::Application->ProcessMessages();
    }
    template <class T = vcl::TForm>
    T* NewForm(int w = 300, int h = 200, const std::string& caption = "Form") {
        T* f = vcl::Create<T>(nullptr);
        f->SetBounds(100, 100, w, h);
        f->SetCaption(caption);
        owned.push_back(f);
        return f;
    }
    template <class T>
    T* Add(vcl::TWinControl* parent, int l, int t, int w, int h) {
        T* c = vcl::Create<T>(parent->Owner() ? parent->Owner() : parent);
        c->SetParent(parent);
        c->SetBounds(l, t, w, h);
        return c;
    }
};

// A part of a bitmap as a new bitmap (for screenshots of a screen region).
inline std::unique_ptr<vcl::TBitmap> CropBitmap(vcl::TBitmap* src, const vcl::TRect& r) {
    std::unique_ptr<vcl::TBitmap> out(new vcl::TBitmap);
    out->SetPixelFormat(vcl::pf24bit);
    out->SetSize(r.Width(), r.Height());
    for (int y = 0; y < r.Height(); ++y)
        for (int x = 0; x < r.Width(); ++x) out->ScanLine(y)[x] = src->ScanLine(r.Top + y)[r.Left + x];
    out->SetModified(true);
    return out;
}
