// Loading the module with dlopen and resolving the host's function table with dlsym.
#include "module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

namespace eqm {

Module::Module(const std::string &path) : path_(path) {
    // RTLD_NOW: a module whose own dependencies are unresolved fails here, not mid-frame.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *why = dlerror();
        error_ = "cannot load the module " + path + ": " + (why != nullptr ? why : "unknown error");
        return;
    }
#define EQM_RESOLVE(name)                                          \
    if (void *symbol = dlsym(handle_, #name); symbol != nullptr) { \
        api_.name = reinterpret_cast<decltype(api_.name)>(symbol); \
    } else {                                                       \
        missing_.emplace_back(#name);                              \
    }
    EQM_HOST_FUNCTIONS(EQM_RESOLVE)
#undef EQM_RESOLVE
    if (!missing_.empty()) {
        error_ = "the module " + path + " lacks " + std::to_string(missing_.size()) +
                 (missing_.size() == 1 ? " function" : " functions") + " the host needs:";
        for (std::size_t i = 0; i < missing_.size(); ++i)
            error_ += (i == 0 ? " " : ", ") + missing_[i];
        dlclose(handle_);
        handle_ = nullptr;
        api_ = Api{};
    }
}

Module::~Module() {
    if (handle_ != nullptr) dlclose(handle_);
}

Module::Module(Module &&other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)),
      missing_(std::move(other.missing_)),
      api_(std::exchange(other.api_, Api{})) {}

namespace {

std::filesystem::path executable_directory() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path(error);
    return self.parent_path();
}

}  // namespace

std::string default_module_path() {
    const std::filesystem::path here = executable_directory();
    // Both relative places are set by the build: the library's directory as seen from the
    // host's own build directory, and from the installed bin directory.
    const std::filesystem::path candidates[] = {
        here / EQM_MODULE_FROM_BUILD_DIR / EQM_MODULE_FILE_NAME,
        here / EQM_MODULE_FROM_INSTALL_DIR / EQM_MODULE_FILE_NAME,
    };
    for (const std::filesystem::path &candidate : candidates) {
        std::error_code error;
        if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
    }
    return candidates[0].lexically_normal().string();
}

}  // namespace eqm
