// Test support for parameter objects.
#include "test_parameters.h"

#include "test_host.h"

namespace testhost {
namespace {

Parameter *new_reference(int32_t typeId) {
    auto *reference =
        static_cast<EquationParameter *>(_KVAMEM_AllocZ(sizeof(EquationParameter), nullptr, 0));
    if (reference != nullptr) reference->typeId = typeId;
    return reinterpret_cast<Parameter *>(reference);
}

void delete_reference(Parameter *parameter) { KVAMEM_Free(parameter); }

}  // namespace

void register_reference_type() {
    KVAP_RegisterParameterType(6, "Equation", 0, new_reference, delete_reference, nullptr, nullptr,
                               nullptr, nullptr);
}

long live_blocks() { return static_cast<long>(counts().live.size()); }

}  // namespace testhost
