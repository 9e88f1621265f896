#include "controls/wincapi.h"

#include "controls/forms.h"
#include "controls/messages.h"

extern "C" {

__attribute__((visibility("default"))) uint8_t dbv_win_post_message(uint32_t hwnd, uint32_t msg,
                                                                     uintptr_t wparam,
                                                                     intptr_t lparam) {
    if (!hwnd) return 0;
    return win::PostMessage(hwnd, msg, wparam, lparam) ? 1 : 0;
}

__attribute__((visibility("default"))) intptr_t dbv_win_send_message(uint32_t hwnd, uint32_t msg,
                                                                     uintptr_t wparam,
                                                                     intptr_t lparam) {
    // An exception must not cross into the caller's C frames: it is shown instead.
    try {
        return win::SendMessage(hwnd, msg, wparam, lparam);
    } catch (...) {
        vcl::Application->HandleException(nullptr);
        return 0;
    }
}

__attribute__((visibility("default"))) uint8_t dbv_win_is_window(uint32_t hwnd) {
    return win::IsWindow(hwnd) ? 1 : 0;
}
}
