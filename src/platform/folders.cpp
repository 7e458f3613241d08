#include "platform/folders.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <system_error>

#include "platform/services.h"

namespace quillon {
namespace {

std::filesystem::path WithTrailingSeparator(std::filesystem::path path) {
    if (!path.empty() && path.native().back() != '/')
        path += '/';
    return path;
}

std::filesystem::path ExecutableFolder() {
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return std::filesystem::current_path();
    return std::filesystem::path(std::string(buffer.data(), static_cast<std::size_t>(length))).parent_path();
}

// The folder exists (created when missing) and this process may create files in it.
bool UsableFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder, error);
        if (error || !std::filesystem::is_directory(folder, error))
            return false;
    }
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

// The executable's folder, or the one a test put in its place.
std::filesystem::path BaseFolder() {
    std::filesystem::path folder = services().programFolderOverride();
    if (folder.empty())
        folder = ExecutableFolder();
    return folder;
}

// Installed when there is no "res" beside the executable but there is one where the install puts it.
bool InstalledBelow(const std::filesystem::path& base) {
    std::error_code error;
    return !std::filesystem::is_directory(base / "res", error) &&
           std::filesystem::is_directory(base / QUILLON_RES_FROM_BIN, error);
}

}  // namespace

bool InstalledLayout() {
    return InstalledBelow(BaseFolder());
}

std::filesystem::path ProgramFolder() {
    const std::filesystem::path base = BaseFolder();
    if (InstalledBelow(base))
        return WithTrailingSeparator((base / QUILLON_PLUGINS_FROM_BIN).lexically_normal());
    return WithTrailingSeparator(base);
}

std::filesystem::path ResourceFolder() {
    const std::filesystem::path base = BaseFolder();
    if (InstalledBelow(base))
        return WithTrailingSeparator((base / QUILLON_RES_FROM_BIN).lexically_normal());
    return WithTrailingSeparator(base / "res");
}

std::filesystem::path UserDataFolder() {
    std::filesystem::path base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr && home[0] != '\0' ? home : "/tmp") / ".local" / "share";
    }
    return WithTrailingSeparator(base / "quillon" / "Data");
}

std::filesystem::path DataFolder() {
    // An installed program never writes beside itself, even where it could (a prefix in $HOME).
    const std::filesystem::path base = BaseFolder();
    const std::filesystem::path portable = WithTrailingSeparator(base / "Data");
    if (!InstalledBelow(base) && UsableFolder(portable))
        return portable;
    const std::filesystem::path user = UserDataFolder();
    UsableFolder(user);
    return user;
}

}  // namespace quillon
