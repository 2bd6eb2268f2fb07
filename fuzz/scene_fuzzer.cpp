// Fuzzes the host stand-in's scene loader: random scene text is read and checked, and a scene
// that reads cleanly is built into the library and played for a few frames, then released.
// Every input must leave the host's allocator with the blocks it had before.
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "fuzz_host.h"
#include "scene.h"
#include "session.h"

namespace {

// The host's function table, filled from the library linked in rather than from a loaded module.
eqm::Api linked_api() {
    eqm::Api api;
#define ZTEQM_FILL_POINTER(name) api.name = &::name;
    EQM_HOST_FUNCTIONS(ZTEQM_FILL_POINTER)
#undef ZTEQM_FILL_POINTER
    return api;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The library starts once per process, so the host's library object lives as long.
    static const eqm::Api api = linked_api();
    static eqm::Library *library = new eqm::Library(api);
    static const long settled = eqm::allocator_stats().live;

    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<eqm::Problem> problems;
    // Relative data file names resolve against a directory that does not exist.
    std::unique_ptr<eqm::Scene> scene =
        eqm::parse_scene(text, "/nonexistent/scenes/fuzzed.json", problems);
    if (scene == nullptr || eqm::has_errors(problems)) return 0;
    eqm::check_against_library(*library, *scene, problems);
    if (eqm::has_errors(problems)) return 0;
    try {
        eqm::Run run(*library, *scene);
        std::ostringstream table;
        eqm::RunOptions options;
        options.frames = 3;
        options.table = &table;
        run.play(options);
    } catch (const std::runtime_error &) {
        // The library could not make what the scene asks for: the run is released all the same.
    }
    const eqm::AllocatorStats &stats = eqm::allocator_stats();
    if (stats.foreignReleases != 0) fuzzhost::fault("no foreign pointer freed");
    if (stats.live != settled) fuzzhost::fault("the run released everything it made");
    return 0;
}
