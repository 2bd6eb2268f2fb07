// Scratch directories and open-file counts for the tests, on POSIX systems and on Windows.
#include "scratch.h"

#include <cstdlib>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#endif

namespace testhost {

std::filesystem::path scratch_root() {
    const char *base = std::getenv("ZTEQM_TEST_TMP");
    std::error_code error;
    std::filesystem::path root =
        base != nullptr ? std::filesystem::path(base) : std::filesystem::temp_directory_path(error);
    std::filesystem::create_directories(root, error);
    return root;
}

std::filesystem::path make_scratch_directory(const std::string &prefix) {
    const std::filesystem::path root = scratch_root();
    std::random_device seed;
    std::mt19937_64 names(seed());
    for (;;) {
        const std::filesystem::path candidate =
            root / (prefix + "-" + std::to_string(names() % 1000000007u));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) return candidate;
        if (error) return {};
    }
}

int open_file_count() {
    int count = 0;
#if defined(_WIN32)
    // The DLL and the tests share the system C runtime, and so its table of open files.
    for (int descriptor = 0; descriptor < 2048; ++descriptor) {
        if (_get_osfhandle(descriptor) != -1) ++count;
    }
#else
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++count;
    }
#endif
    return count;
}

}  // namespace testhost
