// A host program for memory checkers: one session under the ownership rules, then the library
// stopped. Exits non-zero when a block is still held.
#include <cstdio>
#include <string>

#include "host_session.h"
#include "test_host.h"

int main() {
    testhost::start_library();
    const std::string data = testhost::write_playback_file();
    if (data.empty()) return 2;
    testhost::run_host_session(data);
    const bool computes = testhost::library_still_computes();
    KVAEQM_Exit();
    std::remove(data.c_str());
    const size_t held = testhost::counts().live.size();
    std::printf("blocks held after stopping: %zu\n", held);
    return computes && held == 0 && testhost::counts().foreignFrees == 0 ? 0 : 1;
}
