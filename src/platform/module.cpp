#include "platform/module.h"

#include <dlfcn.h>

#include <system_error>
#include <utility>

namespace quillon {
namespace {

std::string LastLoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown loader error";
}

}  // namespace

Module::~Module() {
    Free();
}

Module::Module(Module&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error)) {}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        Free();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

Module Module::Load(const std::filesystem::path& path) {
    Module module;
    // dlopen would hand back the program itself for an empty name and search the system's
    // library folders for a bare one; a plugin is only ever taken from the path given.
    if (path.empty()) {
        module.m_error = "no library path given";
        return module;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        module.m_error = error.message();
        return module;
    }
    // Each plugin keeps its symbols to itself: the two driver copies export the same names.
    module.m_handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module.m_handle == nullptr)
        module.m_error = LastLoaderError();
    return module;
}

void* Module::Symbol(const char* name) {
    if (m_handle == nullptr || name == nullptr)
        return nullptr;
    dlerror();  // a null export is legal, so only dlerror tells a failure apart
    void* address = dlsym(m_handle, name);
    if (address == nullptr)
        m_error = LastLoaderError();
    return address;
}

void Module::Free() {
    if (m_handle != nullptr)
        dlclose(m_handle);
    m_handle = nullptr;
}

}  // namespace quillon
