// Loading the module and resolving the host's function table, through the platform's loader
// (platform.h).
#include "module.h"

#include <filesystem>
#include <utility>

#include "platform.h"

namespace eqm {

Module::Module(const std::string &path) : path_(path) {
    std::string why;
    handle_ = platform::load_module(path, why);
    if (handle_ == nullptr) {
        error_ = "cannot load the module " + path + ": " + why;
        return;
    }
#define EQM_RESOLVE(name)                                                            \
    if (void *symbol = platform::find_function(handle_, #name); symbol != nullptr) { \
        api_.name = reinterpret_cast<decltype(api_.name)>(symbol);                   \
    } else {                                                                         \
        missing_.emplace_back(#name);                                                \
    }
    EQM_HOST_FUNCTIONS(EQM_RESOLVE)
#undef EQM_RESOLVE
    if (!missing_.empty()) {
        error_ = "the module " + path + " lacks " + std::to_string(missing_.size()) +
                 (missing_.size() == 1 ? " function" : " functions") + " the host needs:";
        for (std::size_t i = 0; i < missing_.size(); ++i)
            error_ += (i == 0 ? " " : ", ") + missing_[i];
        platform::unload_module(handle_);
        handle_ = nullptr;
        api_ = Api{};
    }
}

Module::~Module() {
    if (handle_ != nullptr) platform::unload_module(handle_);
}

Module::Module(Module &&other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)),
      missing_(std::move(other.missing_)),
      api_(std::exchange(other.api_, Api{})) {}

std::string default_module_path() {
    const std::filesystem::path here = platform::executable_directory();
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
