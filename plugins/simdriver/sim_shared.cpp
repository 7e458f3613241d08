// The one simulated mouse of the process. This file is built into a small shared library that
// both driver copies load, so that they find the same mouse behind the cable and the receiver;
// each copy's own code could not share it, since the program loads the copies apart.

#include "sim_mouse.h"

namespace quillon::sim {

__attribute__((visibility("default"))) MouseBody& SharedMouseBody(const std::filesystem::path& logFile) {
    static MouseBody body(logFile);
    return body;
}

}  // namespace quillon::sim
