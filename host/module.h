// The equation manager seen from the host: the shared object loaded at run time, and the table
// of every library function the host calls, resolved by name.
#pragma once

#include <string>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace eqm {

// Every library function the host uses. Adding a call to the host means adding its name here;
// the loader then refuses a module that lacks it, naming it.
#define EQM_HOST_FUNCTIONS(X)             \
    X(KVAEQM_Init)                        \
    X(KVAEQM_Exit)                        \
    X(KVAEQM_NewEquationPalette)          \
    X(KVAEQM_DeleteEquationPalette)       \
    X(KVAEQM_Evaluate)                    \
    X(KVAEQM_RefreshAllSubscribers)       \
    X(KVAEQM_RegisterAppVariable)         \
    X(KVAEQM_GetAppVariableByName)        \
    X(KVAEQM_GetValueDouble)              \
    X(KVAMEM_Free)                        \
    X(KVAT_IDOfName)                      \
    X(KVAT_GetNumTypes)                   \
    X(KVAT_NameOfID)                      \
    X(KVAS_RegisterSubscriberType)        \
    X(KVAOP_IDOfName)                     \
    X(KVAOP_GetNumTypes)                  \
    X(KVAOP_NameOfID)                     \
    X(KVAOP_GetNumParameters)             \
    X(KVAP_IDOfName)                      \
    X(KVAP_GetNumTypes)                   \
    X(KVAP_NameOfID)                      \
    X(KVAP_GetParameterTypeLValueEnabled) \
    X(KVAP_New)                           \
    X(KVAP_Delete)                        \
    X(KVAP_GetDouble)                     \
    X(KVAP_GetInteger)                    \
    X(KVAP_GetString)                     \
    X(KVAP_SetString)                     \
    X(KVAP_SetDataTypeName)               \
    X(KVAP_SetVariableName)               \
    X(KVAP_SetVariableAddress)            \
    X(KVAP_SetEquationReferenceName)      \
    X(KVAP_FreeVariable)                  \
    X(KVAV_IDOfName)                      \
    X(KVAV_GetNumTypes)                   \
    X(KVAV_NameOfID)                      \
    X(KVAEQ_SetName)                      \
    X(KVAEQ_SetOperatorName)              \
    X(KVAEQ_SetTriggerName)               \
    X(KVAEQ_GetVariable)                  \
    X(KVAEQ_GetIndex)                     \
    X(KVAEQ_GetNumParameters)             \
    X(KVAEQ_SetNumParameters)             \
    X(KVAEQ_GetParameterN)                \
    X(KVAEQ_NewParameterN)                \
    X(KVAEQ_RegisterSubscriber)           \
    X(KVAEQ_UnregisterAllSubscribers)     \
    X(KVAEP_NewEquation)                  \
    X(KVAEP_GetEquation)                  \
    X(KVAEP_GetNumEquations)              \
    X(KVAEP_SetLVariableTypeName)         \
    X(KVAEP_DeleteEquation)

// One pointer per function, typed from the public headers' declarations.
struct Api {
#define EQM_DECLARE_POINTER(name) decltype(&::name) name = nullptr;
    EQM_HOST_FUNCTIONS(EQM_DECLARE_POINTER)
#undef EQM_DECLARE_POINTER
};

// A loaded module. Movable, not copyable; unloads on destruction.
class Module {
public:
    // Loads the shared object at `path` and resolves every function of the table. On failure
    // the module is not loaded and error() says why (the loader's message, or the names of the
    // missing functions).
    explicit Module(const std::string &path);
    ~Module();
    Module(Module &&other) noexcept;
    Module &operator=(Module &&other) = delete;
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }
    // Functions the module lacks (empty once loaded).
    const std::vector<std::string> &missing() const { return missing_; }
    const Api &api() const { return api_; }

private:
    void *handle_ = nullptr;
    std::string path_;
    std::string error_;
    std::vector<std::string> missing_;
    Api api_;
};

// Where the host looks for the module when none is named: the library built beside this
// executable, in a build tree or an installed tree. Returns the first candidate that exists,
// or the first candidate when none does (so that the error names a sensible place).
std::string default_module_path();

}  // namespace eqm
