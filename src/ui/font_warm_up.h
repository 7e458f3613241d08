#pragma once
// Reads the system's font configuration on a thread of its own while the program starts.
//
// The first text a window measures makes Qt load the font database, and fontconfig reads and
// parses every configuration file and font cache for it: about a tenth of the start-up, in which
// the UI thread would wait. The thread starts with the program: fontconfig's part needs no Qt, and
// runs while the application object connects to the X server (mostly waiting for its answers);
// Qt's font database is filled on the same thread once the application object exists. The font
// database is shared by all threads, so the UI thread finds it filled (or waits only for the rest).
//
//     FontWarmUp fonts;                      // before the application object
//     QApplication application(argc, argv);
//     fonts.FillFontDatabase();
//     ...
//     fonts.Join();                          // before the application object goes

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillon {

class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    // Call once the application object exists: Qt's font database is then filled on the thread.
    void FillFontDatabase();
    // Waits for the thread (and tells it to skip Qt's part if it has not started it). The thread
    // uses the application object: call this before that goes. The destructor calls it too.
    void Join();

private:
    enum class Next { Wait, Fill, Stop };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Next m_next = Next::Wait;
    std::thread m_thread;
};

}  // namespace quillon
