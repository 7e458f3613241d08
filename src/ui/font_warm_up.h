#pragma once
// Reads the system's font configuration on a thread of its own while the first window is built.
//
// The first text a window measures makes Qt load the font database, and fontconfig reads and
// parses every configuration file and font cache for it: about a tenth of the start-up, in which
// the UI thread would wait. Started right after the application object, the thread does that work
// while the UI thread reads the layout and the stores; the font database is shared by all threads,
// so the UI thread finds it filled (or waits only for the rest of it).
//
//     QApplication application(argc, argv);
//     FontWarmUp fonts;  // joins when it goes

#include <thread>

namespace quillon {

class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

private:
    std::thread m_thread;
};

}  // namespace quillon
