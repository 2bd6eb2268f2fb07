// Loading a module on POSIX systems: dlopen and dlsym.
#include <dlfcn.h>

#include "platform.h"

namespace eqm::platform {

void *load_module(const std::string &path, std::string &error) {
    // RTLD_NOW: a module whose own dependencies are unresolved fails here, not mid-frame.
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char *why = dlerror();
        error = why != nullptr ? why : "unknown error";
    }
    return module;
}

void *find_function(void *module, const char *name) { return dlsym(module, name); }

void unload_module(void *module) { dlclose(module); }

std::filesystem::path executable_directory() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path(error);
    return self.parent_path();
}

}  // namespace eqm::platform
