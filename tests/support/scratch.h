// What the tests need from the operating system beside the library: scratch directories and a
// count of the files the process holds open. The same calls on POSIX systems and on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace testhost {

// The directory the tests write into: $ZTEQM_TEST_TMP (set by CTest), else the system's
// temporary directory. Made if missing.
std::filesystem::path scratch_root();

// A new, empty directory under scratch_root() whose name starts with `prefix`.
std::filesystem::path make_scratch_directory(const std::string &prefix);

// The number of files the process holds open (descriptors, or C runtime handles on Windows).
int open_file_count();

}  // namespace testhost
