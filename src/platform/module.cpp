#include "platform/module.h"

#include <dlfcn.h>

#include <utility>

namespace quillon {
namespace {

std::string LastLoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown loader error";
}

} // namespace

Module::~Module() { Free(); }

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
    // Each plugin keeps its symbols to itself: the two driver copies export the same names.
    module.m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module.m_handle == nullptr)
        module.m_error = LastLoaderError();
    return module;
}

void* Module::Symbol(const char* name) {
    if (m_handle == nullptr || name == nullptr)
        return nullptr;
    dlerror(); // a null export is legal, so only dlerror tells a failure apart
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

} // namespace quillon
