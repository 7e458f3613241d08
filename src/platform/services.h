#pragma once
// The process-wide seams of the platform layer, and how they are chosen.
//
// Code that needs time, timers, file dialogs or the desktop shell asks `services()` for them
// instead of reaching for Qt directly, so that a test can put fakes in their place:
//
//     services().clock().Sleep(1000);                   // worker pacing
//     services().timers().StartTimer(500, callback);    // behind SetTimer
//     services().fileDialogs().GetSaveFileName(request);
//
// Without set-up, each seam is the production one (system clock, QTimer, QFileDialog, the desktop
// shell), and the program folder is the executable's folder. A test fixture replaces some of them
// with `ScopedServices` for its lifetime (tests/support has VirtualTime, ScriptedFileDialogs and
// RecordingShell, which do this themselves). Replace seams only while no other thread of ours
// runs; reading them is safe from any thread.

#include <filesystem>

namespace quillon {

class Clock;
class TimerService;
class FileDialogs;
class Shell;

class Services {
public:
    Clock& clock() const;
    TimerService& timers() const;
    FileDialogs& fileDialogs() const;
    Shell& shell() const;
    // The folder the program's libraries, resources and data live in; empty means the folder of
    // the running executable. See folders.h.
    std::filesystem::path programFolderOverride() const;
};

// The seams in force.
const Services& services();

// Replaces some seams for the lifetime of the object; a null member keeps the one in force.
// Objects nest: each destructor restores what was there before it.
class ScopedServices {
public:
    struct Set {
        Clock* clock = nullptr;
        TimerService* timers = nullptr;
        FileDialogs* fileDialogs = nullptr;
        Shell* shell = nullptr;
        std::filesystem::path programFolder;
    };
    explicit ScopedServices(const Set& replacements);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Set m_previous;
};

}  // namespace quillon
