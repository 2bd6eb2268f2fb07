// What the host needs from the operating system, one small file per platform:
// platform_posix.cpp (dlopen) and platform_windows.cpp (LoadLibrary). On Windows the host also
// writes its standard output and error untranslated, so that it prints the same bytes there
// as here (platform_windows.cpp).
#pragma once

#include <filesystem>
#include <string>

namespace eqm::platform {

// Loads the module at `path` with every dependency resolved now; null and the loader's
// message in `error` on failure.
void *load_module(const std::string &path, std::string &error);
// The address of the exported function `name`, or null.
void *find_function(void *module, const char *name);
void unload_module(void *module);
// The directory of the running executable (the current directory if it cannot be told).
std::filesystem::path executable_directory();

}  // namespace eqm::platform
