// Builds a palette of N equations, each referring to the previous one by name, then makes one
// editing pass, for counting the instructions of the pass under callgrind
// (--toggle-collect=edit_pass).
//
//   eqm_edit_driver remake|move|copy N
//
// remake: deletes and remakes every tenth equation; move: moves every tenth equation one step
// down and back up; copy: copies the palette into another one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ztequationmanager/ztequationmanager.h"

namespace {

void *host_alloc(uint64_t size) { return std::malloc(size == 0 ? 1 : static_cast<size_t>(size)); }
void host_free(void *block) { std::free(block); }

int databases[2];

}  // namespace

extern "C" [[gnu::noinline]] int edit_pass(const char *what, EquationPalette *palette, int count) {
    int operations = 0;
    if (std::strcmp(what, "remake") == 0) {
        for (int index = 0; index < count; index += 10, ++operations) {
            KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, index));
            int32_t again = index;
            KVAEP_NewEquation(palette, &again);
        }
    } else if (std::strcmp(what, "move") == 0) {
        for (int index = 0; index + 1 < count; index += 10, operations += 2) {
            Equation *moved = KVAEP_MoveEquationDownOne(palette, KVAEP_GetEquation(palette, index));
            KVAEP_MoveEquationUpOne(palette, moved);
        }
    } else if (std::strcmp(what, "copy") == 0) {
        KVAEP_CopyEPalette(&databases[1], &databases[0]);
        operations = count;
    }
    return operations;
}

int main(int argc, char **argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: %s remake|move|copy N\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    KVAEQM_Init(host_alloc, host_free, nullptr);
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    KVAEQM_NewEquationPalette(&databases[1]);
    const int32_t reference = KVAP_IDOfName("Equation");
    for (int i = 0; i < count; ++i) {
        int32_t index = -1;
        Equation *equation = KVAEP_NewEquation(palette, &index);
        KVAEQ_SetOperatorName(equation, "+");
        KVAEQ_SetNumParameters(equation, 2);
        if (i == 0) continue;
        KVAP_Delete(KVAEQ_GetParameterN(equation, 0));
        const std::string previous = "Equation " + std::to_string(i - 1);
        KVAP_SetString(KVAEQ_NewParameterN(equation, 0, reference), previous.c_str(), 0);
    }
    const int operations = edit_pass(argv[1], palette, count);
    std::printf("%d operations on %d equations\n", operations, count);
    return operations > 0 ? 0 : 1;
}
