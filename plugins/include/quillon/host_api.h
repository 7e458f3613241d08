#pragma once
/* The C API that the Quillon executable offers to its plugins (driver and hook libraries).
 *
 * Plugins reach the program only by posting window messages, as they would on Windows. They find
 * these functions at run time with dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE) and friends, so a
 * plugin loads into any process; where the functions are missing, a plugin drops its notifications.
 * Both functions may be called from any thread; messages to one window are handled in the order
 * they were posted, on the program's UI thread. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A window handle as the program hands it to a plugin (the stand-in for HWND). */
typedef void* QuillonWindow;

/* Posts (msg, wparam, lparam) to the window. Returns 1 when queued, 0 when the window is gone. */
typedef int (*QuillonPostMessageFn)(QuillonWindow window, uint32_t msg, uintptr_t wparam, intptr_t lparam);

/* Posts msg with a copy of `size` bytes at `data`: when the message is handled, wParam points to the
 * copy, which stays valid until the handler returns and is freed by the program afterwards.
 * Returns 1 when queued, 0 when the window is gone. */
typedef int (*QuillonPostDataMessageFn)(QuillonWindow window, uint32_t msg, const void* data, size_t size,
                                        intptr_t lparam);

#define QUILLON_HOST_POST_MESSAGE "QuillonPostMessage"
#define QUILLON_HOST_POST_DATA_MESSAGE "QuillonPostDataMessage"

int QuillonPostMessage(QuillonWindow window, uint32_t msg, uintptr_t wparam, intptr_t lparam);
int QuillonPostDataMessage(QuillonWindow window, uint32_t msg, const void* data, size_t size,
                           intptr_t lparam);

#ifdef __cplusplus
}
#endif
