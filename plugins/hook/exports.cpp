// The C exports of the input-hook library, as the program's HookOps table resolves them by name.
//
//   installhook(window)     starts listening for `window`; 1 when it listens, 0 when no X server
//                           with the input extension can be reached (nothing is then reported)
//   removehook()            stops listening; key and button reporting are off until asked again
//   enablehook(flag)        keys are reported while the flag is 1
//   enablemousehook(flag)   the left, right, middle and side buttons are reported while it is 1
//   removemousehook()       buttons are no longer reported (the same as enablemousehook(0))
//   installmousehook()      nothing to do: the buttons come through the listener of installhook
//   mousewheelenable(flag)  nothing to do: the wheel is never reported, whatever the flag
//
// The listener is a single one per process. Its thread ends with removehook, and also when the
// library is unloaded or the program ends without removing it.

#include <dlfcn.h>

#include "input_hook.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The program exports its message function; a host without it gets no events.
QuillonPostMessageFn ResolvePost() {
    return reinterpret_cast<QuillonPostMessageFn>(dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE));
}

// Built when the library is loaded, so that its destructor (which stops the thread) runs when the
// library is unloaded or, at the program's end, before the program's own objects go that a
// running thread might still post to.
quillon::hook::InputHook g_hook(ResolvePost());

}  // namespace

QUILLON_EXPORT void installmousehook(void) {}

QUILLON_EXPORT void removemousehook(void) {
    g_hook.EnableButtons(false);
}

QUILLON_EXPORT void enablemousehook(int enable) {
    g_hook.EnableButtons(enable != 0);
}

QUILLON_EXPORT int installhook(QuillonWindow window) {
    return g_hook.Install(window) ? 1 : 0;
}

QUILLON_EXPORT void removehook(void) {
    g_hook.Remove();
}

QUILLON_EXPORT void enablehook(int enable) {
    g_hook.EnableKeys(enable != 0);
}

QUILLON_EXPORT void mousewheelenable(int) {}
