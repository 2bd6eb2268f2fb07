// Application variables, and reading, writing and binding values by name.
// Invariant: the registry keeps its `count` records in registration order, below its capacity;
// a read or write by name holds the equation it found while host callbacks run.
#include "internal/app_variables.h"
#include "internal/evaluation.h"
#include "internal/invariants.h"
#include "internal/manager.h"
#include "internal/memory.h"
#include "internal/palette_slots.h"
#include "internal/parameters.h"
#include "internal/text.h"
#include "ztequationmanager/manager.h"

namespace {

struct AppVariableRegistry {
    AppVariableRecord *records = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
};

AppVariableRegistry appVariables;

// Where a search by name resumes: the slot of the last match and the parameter position
// within it (-1 for the result variable).
struct SearchCursor {
    int32_t equationIndex = 0;
    int32_t parameterIndex = -2;
    Variable *owner = nullptr;  // the result variable of the equation the match belongs to
};

// Whether the parameter of the equation whose result variable is `owner` bears the name. Its
// text may come from the host's callbacks (a host parameter or value type), which may delete,
// clear or rebuild palettes: the equation is held meanwhile, and *released tells whether it
// went.
bool parameter_bears_name(Parameter *parameter, Variable *owner, const char *name, bool *released) {
    const int32_t hold = zteqm::hold_equation(owner);
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 0);
    const bool same = zteqm::same_text(text, name);
    *released = hold >= 0 && zteqm::end_hold(hold);
    return same && !*released;
}

// The next result variable or parameter named `name` in the palette registered under
// `database`: equations by index, and within one the result variable before the parameters.
Parameter *find_next_by_name(void *database, const char *name, SearchCursor &cursor) {
    if (database == nullptr || name == nullptr) return nullptr;
    EquationPalette *palette = KVAEQM_GetEquationPalette(database);
    if (palette == nullptr) return nullptr;
    int32_t parameterIndex = cursor.parameterIndex + 1;
    uint32_t seen = zteqm::palette_deletions();
    for (int32_t e = cursor.equationIndex; e < KVAEP_GetNumEquations(palette); ++e) {
        Equation *equation = KVAEP_GetEquation(palette, e);
        if (equation != nullptr) {
            if (parameterIndex == -1) {
                Variable *result = KVAEQ_GetVariable(equation);
                if (result != nullptr && zteqm::same_text(result->name, name)) {
                    cursor = {e, -1, result};
                    return reinterpret_cast<Parameter *>(result);
                }
                parameterIndex = 0;
            }
            for (int32_t p = parameterIndex; p < KVAEQ_GetNumParameters(equation); ++p) {
                Parameter *parameter = KVAEQ_GetParameterN(equation, p);
                if (parameter == nullptr) continue;
                bool released = false;
                const bool bears =
                    parameter_bears_name(parameter, equation->variable, name, &released);
                // Everything is taken again after the callbacks: the palette may be gone, the
                // slots moved, the equation or the parameter replaced.
                if (!zteqm::palette_alive(palette, &seen)) return nullptr;
                equation = KVAEP_GetEquation(palette, e);
                if (released || equation == nullptr) break;
                if (bears && KVAEQ_GetParameterN(equation, p) == parameter) {
                    cursor = {e, p, equation->variable};
                    return parameter;
                }
            }
        }
        parameterIndex = -1;
    }
    return nullptr;
}

// The first match in `database`, or with a null database in the first listed palette that
// has one; *owner is the result variable of the equation it belongs to.
Parameter *find_first(void *database, const char *name, Variable **owner) {
    SearchCursor cursor;
    Parameter *match = find_next_by_name(database, name, cursor);
    for (int32_t position = 0;
         match == nullptr && database == nullptr && position < KVAEQM_GetNumPalettes();
         ++position) {
        EquationPalette *palette = zteqm::listed_palette(position);
        if (palette == nullptr) continue;
        cursor = SearchCursor{};
        match = find_next_by_name(KVAEP_GetUserData(palette), name, cursor);
    }
    *owner = cursor.owner;
    return match;
}

// Reads the first match. Its equation is held while the read runs host callbacks, so that
// one deleting, clearing or rebuilding palettes never makes the read touch released objects;
// a read whose equation went meanwhile gives no value.
template <typename Result, typename Read>
Result read_first(void *database, const char *name, Read read) {
    Variable *owner = nullptr;
    Parameter *match = find_first(database, name, &owner);
    if (match == nullptr) return Result{};
    const int32_t hold = zteqm::hold_equation(owner);
    if (hold < 0) return Result{};
    const Result result = read(match);
    const bool released = zteqm::end_hold(hold);
    ZTEQM_CHECK_BETWEEN_CALLS();
    return released ? Result{} : result;
}

template <typename Apply>
void for_each_match_in(void *database, const char *name, Apply apply) {
    SearchCursor cursor;
    while (Parameter *match = find_next_by_name(database, name, cursor)) {
        // The write may run the host's callbacks too: the match's equation is held meanwhile.
        const int32_t hold = zteqm::hold_equation(cursor.owner);
        apply(match);
        if (hold >= 0) zteqm::end_hold(hold);
    }
    ZTEQM_CHECK_BETWEEN_CALLS();
}

// Every match in `database`, or with a null database in every listed palette in turn.
template <typename Apply>
void for_each_match(void *database, const char *name, Apply apply) {
    if (database != nullptr) {
        for_each_match_in(database, name, apply);
        return;
    }
    for (int32_t position = 0; position < KVAEQM_GetNumPalettes(); ++position) {
        if (EquationPalette *palette = zteqm::listed_palette(position)) {
            for_each_match_in(KVAEP_GetUserData(palette), name, apply);
        }
    }
}

}  // namespace

namespace zteqm {

void release_app_variables() {
    if (appVariables.records != nullptr) KVAMEM_Free(appVariables.records);
    appVariables = AppVariableRegistry{};
}

}  // namespace zteqm

extern "C" {

void KVAEQM_RegisterAppVariable(const char *name, const char *dataTypeName, void *address) {
    if (name == nullptr || dataTypeName == nullptr) return;
    const int32_t index = appVariables.count;
    if (index + 1 >= appVariables.capacity &&
        !zteqm::grow_array(appVariables.records, appVariables.capacity, index + 10)) {
        return;
    }
    AppVariableRecord &record = appVariables.records[index];
    zteqm::copy_text(record.name, name);
    zteqm::copy_text(record.dataTypeName, dataTypeName);
    record.address = address;
    appVariables.count = index + 1;
}

int32_t KVAEQM_GetNumAppVariables(void) { return appVariables.count; }

void KVAEQM_GetAppVariableN(const char **outName, const char **outDataTypeName, void **outAddress,
                            int32_t index) {
    const AppVariableRecord *record =
        index >= 0 && index < appVariables.count ? &appVariables.records[index] : nullptr;
    if (outName != nullptr) *outName = record != nullptr ? record->name : nullptr;
    if (outDataTypeName != nullptr) {
        *outDataTypeName = record != nullptr ? record->dataTypeName : nullptr;
    }
    if (outAddress != nullptr) *outAddress = record != nullptr ? record->address : nullptr;
}

void KVAEQM_GetAppVariableByName(const char *name, const char **outDataTypeName,
                                 void **outAddress) {
    const AppVariableRecord *record = nullptr;
    for (int32_t index = 0; index < appVariables.count && name != nullptr; ++index) {
        if (zteqm::same_text(appVariables.records[index].name, name)) {
            record = &appVariables.records[index];
            break;
        }
    }
    if (outDataTypeName != nullptr) {
        *outDataTypeName = record != nullptr ? record->dataTypeName : nullptr;
    }
    if (outAddress != nullptr) *outAddress = record != nullptr ? record->address : nullptr;
}

int32_t KVAEQM_GetValueInt(void *database, const char *name) {
    return read_first<int32_t>(database, name, KVAP_GetInteger);
}

double KVAEQM_GetValueDouble(void *database, const char *name) {
    return read_first<double>(database, name, KVAP_GetDouble);
}

void *KVAEQM_GetValueArray(void *database, const char *name) {
    return read_first<void *>(database, name, KVAP_GetAddress);
}

void KVAEQM_SetValueInt(void *database, const char *name, int32_t integer) {
    for_each_match(database, name,
                   [integer](Parameter *match) { KVAP_SetInteger(match, integer); });
}

void KVAEQM_SetValueDouble(void *database, const char *name, double number) {
    for_each_match(database, name, [number](Parameter *match) { KVAP_SetDouble(match, number); });
}

void KVAEQM_SetValueArray(void *database, const char *name, void *address) {
    for_each_match(database, name,
                   [address](Parameter *match) { KVAP_SetAddress(match, address); });
}

void *KVAEQM_GetAddress(void *database, const char *name) {
    SearchCursor cursor;
    Parameter *match = find_next_by_name(database, name, cursor);
    if (match == nullptr || zteqm::layout_of(match->typeId) != zteqm::Layout::variable)
        return nullptr;
    return KVAP_GetVariableAddress(reinterpret_cast<Variable *>(match));
}

void KVAEQM_SetAddress(void *database, const char *name, void *address) {
    for_each_match_in(database, name, [address](Parameter *match) {
        if (zteqm::layout_of(match->typeId) == zteqm::Layout::variable) {
            KVAP_SetVariableAddress(reinterpret_cast<Variable *>(match), address);
        }
    });
}

}  // extern "C"
