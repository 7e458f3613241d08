#include "platform/services.h"

#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "platform/file_dialogs.h"
#include "platform/shell.h"
#include "platform/timer_service.h"

namespace quillon {
namespace {

// The seams in force. Pointers are atomic because the worker and plugin threads read the clock
// while the UI thread may be the one that set it.
std::atomic<Clock*> g_clock{nullptr};
std::atomic<TimerService*> g_timers{nullptr};
std::atomic<FileDialogs*> g_fileDialogs{nullptr};
std::atomic<Shell*> g_shell{nullptr};
std::mutex g_folderMutex;
std::filesystem::path g_programFolder;

// The production seams are made on first use and live until the process ends, so that nothing
// running during exit finds them gone.
Clock& DefaultClock() {
    static Clock* clock = new SystemClock;
    return *clock;
}
TimerService& DefaultTimers() {
    static TimerService* timers = new QtTimerService;
    return *timers;
}
FileDialogs& DefaultFileDialogs() {
    static FileDialogs* dialogs = new QtFileDialogs;
    return *dialogs;
}
Shell& DefaultShell() {
    static Shell* shell = new DesktopShell;
    return *shell;
}

}  // namespace

Clock& Services::clock() const {
    Clock* clock = g_clock.load();
    return clock != nullptr ? *clock : DefaultClock();
}

TimerService& Services::timers() const {
    TimerService* timers = g_timers.load();
    return timers != nullptr ? *timers : DefaultTimers();
}

FileDialogs& Services::fileDialogs() const {
    FileDialogs* dialogs = g_fileDialogs.load();
    return dialogs != nullptr ? *dialogs : DefaultFileDialogs();
}

Shell& Services::shell() const {
    Shell* shell = g_shell.load();
    return shell != nullptr ? *shell : DefaultShell();
}

std::filesystem::path Services::programFolderOverride() const {
    std::lock_guard lock(g_folderMutex);
    return g_programFolder;
}

const Services& services() {
    static const Services instance;
    return instance;
}

ScopedServices::ScopedServices(const Set& replacements) {
    m_previous.clock = g_clock.load();
    m_previous.timers = g_timers.load();
    m_previous.fileDialogs = g_fileDialogs.load();
    m_previous.shell = g_shell.load();
    if (replacements.clock != nullptr)
        g_clock = replacements.clock;
    if (replacements.timers != nullptr)
        g_timers = replacements.timers;
    if (replacements.fileDialogs != nullptr)
        g_fileDialogs = replacements.fileDialogs;
    if (replacements.shell != nullptr)
        g_shell = replacements.shell;
    std::lock_guard lock(g_folderMutex);
    m_previous.programFolder = g_programFolder;
    if (!replacements.programFolder.empty())
        g_programFolder = replacements.programFolder;
}

ScopedServices::~ScopedServices() {
    g_clock = m_previous.clock;
    g_timers = m_previous.timers;
    g_fileDialogs = m_previous.fileDialogs;
    g_shell = m_previous.shell;
    std::lock_guard lock(g_folderMutex);
    g_programFolder = m_previous.programFolder;
}

}  // namespace quillon
