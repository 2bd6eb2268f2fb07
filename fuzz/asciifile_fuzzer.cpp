// Fuzzes "AsciiFile" playback: random file contents and columns, evaluated many times through
// the looping playback, with the enable flag toggled now and then.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_host.h"

namespace {

// A plain array: it must outlive the static destructors, since the exit handler reads it.
const char *data_file() {
    static char path[64];
    if (path[0] == '\0') {
        std::snprintf(path, sizeof path, "/tmp/asciifile_fuzz_%d.txt", static_cast<int>(getpid()));
    }
    return path;
}

void remove_data_file() { std::remove(data_file()); }

void set_up() {
    if (!fuzzhost::start()) return;
    std::atexit(remove_data_file);
    fuzzhost::take_baseline();
}

Parameter *literal(const char *valueType, const char *text) {
    Parameter *parameter = KVAP_New(KVAP_IDOfName("Literal"));
    KVAP_SetDataTypeName(parameter, valueType);
    KVAP_SetString(parameter, text, 1);
    return parameter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    set_up();
    fuzzhost::Input in{data, size};
    const int32_t column = in.small(12) - 2;
    const int32_t evaluations = 1 + in.small(64);
    const uint8_t toggles = in.byte();

    if (FILE *file = std::fopen(data_file(), "wb")) {
        std::fwrite(in.data, 1, in.size, file);
        std::fclose(file);
    }

    Variable *result = KVAP_NewVariable();
    KVAP_SetTypeName(reinterpret_cast<Parameter *>(result), "Temporary");
    KVAP_SetVariableDefaults(result);
    Parameter *parameters[4] = {
        literal("int", "1"),
        literal("string", data_file()),
        literal("int", std::to_string(column).c_str()),
        KVAP_New(KVAP_IDOfName("Temporary")),
    };
    KVAP_SetDataTypeName(parameters[3], "address");
    OperatorFunc playback = KVAOP_GetFunc(KVAOP_IDOfName("AsciiFile"));

    for (int32_t i = 0; i < evaluations; ++i) {
        const bool enabled = ((toggles >> (i % 8)) & 1) == 0 || i % 5 != 4;
        KVAP_SetInteger(parameters[0], enabled ? 1 : 0);
        playback(result, 4, parameters);
    }
    KVAP_SetInteger(parameters[0], 0);
    playback(result, 4, parameters);  // closes the file
    if (KVAP_GetAddress(parameters[3]) != nullptr) fuzzhost::fault("the file closed");

    for (Parameter *parameter : parameters) KVAP_Delete(parameter);
    KVAP_FreeVariable(result);
    fuzzhost::expect_no_growth();  // the list of open files went back with the last file
    return 0;
}
