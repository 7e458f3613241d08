// Where the control channel of the simulated mouse listens; shared by the driver and quillon-sim.

#include <cstdlib>

#include "sim_driver.h"

namespace quillon::sim {

std::filesystem::path SocketFolder(const std::filesystem::path& defaultFolder) {
    const char* folder = std::getenv("QUILLON_SIM_SOCKET_DIR");
    return folder != nullptr && *folder != '\0' ? std::filesystem::path(folder) : defaultFolder;
}

std::filesystem::path SocketPath(const std::filesystem::path& folder, SimLink link) {
    return folder / (std::string("quillon-sim-") + LinkName(link) + ".sock");
}

}  // namespace quillon::sim
