/* A stand-in for the input-hook library: every export appends its name (and argument) to a journal
 * that the test reads through fake_hook_journal(). Built twice: complete, and with only
 * "removehook" and "enablehook" (FAKE_HOOK_PARTIAL), as an older or broken library would be. */

#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static char journal[1024];

static void note(const char* entry) {
    if (journal[0] != '\0')
        strncat(journal, ",", sizeof journal - strlen(journal) - 1);
    strncat(journal, entry, sizeof journal - strlen(journal) - 1);
}

static void note_flag(const char* name, int flag) {
    char entry[64];
    snprintf(entry, sizeof entry, "%s(%d)", name, flag);
    note(entry);
}

EXPORT const char* fake_hook_journal(void) {
    return journal;
}
EXPORT void fake_hook_clear(void) {
    journal[0] = '\0';
}

EXPORT void removehook(void) {
    note("removehook");
}
EXPORT void enablehook(int enable) {
    note_flag("enablehook", enable);
}

#ifndef FAKE_HOOK_PARTIAL
EXPORT void installmousehook(void) {
    note("installmousehook");
}
EXPORT void removemousehook(void) {
    note("removemousehook");
}
EXPORT void enablemousehook(int enable) {
    note_flag("enablemousehook", enable);
}
EXPORT int installhook(void* window) {
    note(window != NULL ? "installhook(window)" : "installhook(null)");
    return 1;
}
EXPORT void mousewheelenable(int enable) {
    note_flag("mousewheelenable", enable);
}
#endif
