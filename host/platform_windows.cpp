// The host on Windows: loading a module with LoadLibrary and GetProcAddress, and output with
// the same line ends as elsewhere.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

namespace eqm::platform {

namespace {

// The C runtime would turn every line end written to the standard streams into CR LF; the
// host's tables, checks and statistics end their lines with LF alone on every platform, so
// that a scene prints the same bytes here and elsewhere. Set before main() runs, so before
// anything is written.
const bool untranslatedOutput = [] {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

// The system's text for an error code, without its trailing line end.
std::string describe(DWORD code) {
    char *text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length)
                                                         : "error " + std::to_string(code);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace

void *load_module(const std::string &path, std::string &error) {
    // The system reports a missing file or dependency here, not in a dialog box.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The loader takes backslashes only.
    const std::wstring name = std::filesystem::path(path).make_preferred().wstring();
    HMODULE module = LoadLibraryW(name.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previous);
    if (module == nullptr) error = describe(code);
    return reinterpret_cast<void *>(module);
}

void *find_function(void *module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void unload_module(void *module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::filesystem::path executable_directory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            std::error_code error;
            return std::filesystem::current_path(error);
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace eqm::platform
