// The C functions the executable exports to its plugins (quillon/host_api.h). They live in the
// platform library; an executable that loads plugins links them in and exports them with
// quillon_export_host_api() (src/platform/CMakeLists.txt).

#include "quillon/host_api.h"

#include "platform/message_window.h"

extern "C" {

int QuillonPostMessage(QuillonWindow window, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
    return quillon::PostMessage(window, msg, wparam, lparam) ? 1 : 0;
}

int QuillonPostDataMessage(QuillonWindow window, uint32_t msg, const void* data, size_t size,
                           intptr_t lparam) {
    return quillon::PostDataMessage(window, msg, data, size, lparam) ? 1 : 0;
}

}  // extern "C"
