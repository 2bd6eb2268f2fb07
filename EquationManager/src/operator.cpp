// Operators: the operator registry, started with the built-in operators.
// Invariant: slot 0 stays reserved, so identifiers start at 1 and never move once given.
#include "ztequationmanager/operator.h"

#include "internal/operators.h"
#include "internal/registry.h"

namespace {

// Slot 0 is reserved from load on, so the first operator registered gets identifier 1.
zteqm::Table<OperatorRecord> operators{nullptr, 0, 1};

constexpr int32_t kInitialCapacity = 64;

void register_all(std::span<const zteqm::BuiltInOperator> table) {
    for (const zteqm::BuiltInOperator &entry : table) {
        KVAOP_RegisterOperator(entry.numParameters, entry.name, entry.func);
    }
}

}  // namespace

extern "C" {

void KVAOP_Init(void) {
    if (!operators.create(kInitialCapacity)) return;
    // After a stop the count is 0; slot 0 is reserved again so that the built-ins keep their
    // identifiers and identifier 0 still means no operator.
    operators.count = 1;
    register_all(zteqm::special_operators());
    register_all(zteqm::arithmetic_operators());
    register_all(zteqm::math_operators());
}

void KVAOP_Exit(void) {
    if (operators.exists()) operators.release();
}

OperatorRecord *KVAOP_RegisterOperator(int32_t numParameters, const char *name, OperatorFunc func) {
    // Without storage the library is not running: a table made here would keep a later start
    // from registering the built-in operators.
    if (!operators.exists() || name == nullptr) return nullptr;
    const int32_t id = operators.count;
    // Beyond the first 64 records the table grows one record at a time.
    if (!operators.make_room(id, id + 1)) return nullptr;
    operators.count = id + 1;
    OperatorRecord &record = operators.records[id];
    record.numParameters = numParameters;
    zteqm::copy_text(record.name, name);
    record.func = func;
    return &record;
}

void KVAOP_UnregisterOperator(int32_t operatorId) { operators.clear(operatorId); }

OperatorRecord *KVAOP_GetOperator(int32_t operatorId) { return operators.at(operatorId); }

int32_t KVAOP_GetNumTypes(void) { return operators.count; }

const char *KVAOP_NameOfID(int32_t operatorId) {
    const OperatorRecord *record = operators.at(operatorId);
    return record != nullptr ? record->name : nullptr;
}

OperatorFunc KVAOP_GetFunc(int32_t operatorId) {
    return operators.field(operatorId, &OperatorRecord::func);
}

int32_t KVAOP_IDOfName(const char *name) {
    // Slot 0 is never searched: 0 is the answer for a name that matches nothing.
    const int32_t id = operators.find(name, 1);
    return id < 0 ? 0 : id;
}

int32_t KVAOP_GetNumParameters(int32_t operatorId) {
    const OperatorRecord *record = operators.at(operatorId);
    return record != nullptr ? record->numParameters : 0;
}

}  // extern "C"
