// The C interface of the window system for separately loaded modules (the table engine
// reports progress to a window this way). Handles are the 32-bit window ids.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Queues a message for the window; 1 when queued, 0 for an unknown handle.
uint8_t dbv_win_post_message(uint32_t hwnd, uint32_t msg, uintptr_t wparam, intptr_t lparam);
// Runs the window's procedure now and returns its result (0 for an unknown handle).
intptr_t dbv_win_send_message(uint32_t hwnd, uint32_t msg, uintptr_t wparam, intptr_t lparam);
// 1 when the handle names a live window.
uint8_t dbv_win_is_window(uint32_t hwnd);

#ifdef __cplusplus
}
#endif
