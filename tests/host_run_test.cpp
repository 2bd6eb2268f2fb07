// eqm-host driving the real module: what a run leaves behind once it is over. What runs print
// and what checks report is compared with the files under scenes/, eqm-host itself running.
#include <gtest/gtest.h>

#include <fstream>

#include "counting_allocator.h"
#include "module.h"
#include "scene.h"
#include "scratch.h"
#include "session.h"

namespace {

// The host's block counts do not wrap after 2^31 blocks on any platform (long is 32-bit on
// Windows).
static_assert(sizeof(eqm::AllocatorStats::allocations) == 8 &&
              sizeof(eqm::AllocatorStats::live) == 8);

// A run releases every block it made and closes the files "AsciiFile" played back from.
TEST(Run, ClosesPlaybackFilesAndReleasesEveryBlock) {
    eqm::Module module(ZTEQM_MODULE_PATH);
    ASSERT_TRUE(module.loaded()) << module.error();
    eqm::Library library(module.api());
    const std::filesystem::path dir = testhost::make_scratch_directory("playback");
    std::ofstream(dir / "take.txt") << "1 10\n2 20\n3 30\n";
    const long long before = eqm::allocator_stats().live;
    const int descriptors = testhost::open_file_count();
    std::vector<eqm::Problem> problems;
    auto scene = eqm::parse_scene(R"({"frames": 2, "databases": [{"name": "s",
      "nodes": {"n": {"v": 0}}, "equations": [{"name": "Take", "operator": "AsciiFile",
        "result": {"drives": "n.v"}, "parameters": [{"literal": 1, "valueType": "int"},
        {"file": "take.txt"}, {"literal": 2, "valueType": "int"}, 0]}]}]})",
                                  dir / "scene.json", problems);
    ASSERT_TRUE(scene != nullptr && problems.empty());
    {
        eqm::Run run(library, *scene);
        EXPECT_TRUE(run.play({}) == 2 && scene->databases[0]->attributes[0]->get() == 20.0);
    }
    EXPECT_EQ(testhost::open_file_count(), descriptors);
    EXPECT_EQ(eqm::allocator_stats().live, before);
    EXPECT_EQ(eqm::allocator_stats().foreignReleases, 0);
}

}  // namespace
