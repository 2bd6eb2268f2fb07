/* The public headers compile as C99, and every record keeps the field order and widths hosts
   read (64-bit layout). */
#include <stddef.h>
#include <stdio.h>

#include "ztequationmanager/ztequationmanager.h"

#define CHECK(name, condition) typedef char check_##name[(condition) ? 1 : -1]
#define AT(type, field, offset) CHECK(type##_##field, offsetof(type, field) == (offset))
#define SIZE(type, bytes) CHECK(type##_sizeof, sizeof(type) == (bytes))

CHECK(pointer_is_64_bit, sizeof(void *) == 8);

AT(TriggerRecord, triggerId, 0);
AT(TriggerRecord, name, 4);
AT(TriggerRecord, disabled, 84);
SIZE(TriggerRecord, 88);

AT(Value, typeId, 0);
AT(Value, typeName, 4);
AT(Value, size, 84);
AT(Value, data, 88);
SIZE(Value, 96);

AT(ValueTypeRecord, typeId, 0);
AT(ValueTypeRecord, name, 4);
AT(ValueTypeRecord, getIntegerFunc, 88);
AT(ValueTypeRecord, setIntegerFunc, 96);
AT(ValueTypeRecord, getDoubleFunc, 104);
AT(ValueTypeRecord, setDoubleFunc, 112);
AT(ValueTypeRecord, getAddressFunc, 120);
AT(ValueTypeRecord, setAddressFunc, 128);
AT(ValueTypeRecord, toStringFunc, 136);
AT(ValueTypeRecord, fromStringFunc, 144);
SIZE(ValueTypeRecord, 152);

AT(Parameter, typeId, 0);
AT(Parameter, typeName, 4);
AT(Parameter, enabled, 84);
SIZE(Parameter, 88);

AT(LiteralParameter, enabled, 84);
AT(LiteralParameter, text, 88);
AT(LiteralParameter, value, 168);
SIZE(LiteralParameter, 264);

AT(EquationParameter, referenceName, 88);
AT(EquationParameter, equation, 168);
SIZE(EquationParameter, 176);

AT(Variable, name, 88);
AT(Variable, valueText, 1112);
AT(Variable, value, 1192);
AT(Variable, address, 1288);
AT(Variable, getFunc, 1296);
AT(Variable, userData, 1304);
SIZE(Variable, 1312);

AT(ParameterTypeRecord, typeId, 0);
AT(ParameterTypeRecord, name, 4);
AT(ParameterTypeRecord, lvalueEnabled, 84);
AT(ParameterTypeRecord, constructorFunc, 88);
AT(ParameterTypeRecord, destructorFunc, 96);
AT(ParameterTypeRecord, getValueFunc, 104);
AT(ParameterTypeRecord, setValueFunc, 112);
AT(ParameterTypeRecord, getStringFunc, 120);
AT(ParameterTypeRecord, setStringFunc, 128);
SIZE(ParameterTypeRecord, 136);

AT(OperatorRecord, name, 0);
AT(OperatorRecord, numParameters, 80);
AT(OperatorRecord, func, 88);
SIZE(OperatorRecord, 96);

AT(SubscriberTypeRecord, typeId, 0);
AT(SubscriberTypeRecord, name, 4);
AT(SubscriberTypeRecord, destructorFunc, 88);
AT(SubscriberTypeRecord, notifyFunc, 96);
AT(SubscriberTypeRecord, interestFunc, 104);
SIZE(SubscriberTypeRecord, 112);

AT(Subscriber, typeId, 0);
AT(Subscriber, typeName, 4);
AT(Subscriber, notifyFunc, 88);
AT(Subscriber, userData, 96);
SIZE(Subscriber, 104);

AT(Equation, inUse, 0);
AT(Equation, index, 4);
AT(Equation, name, 8);
AT(Equation, operatorName, 88);
AT(Equation, operatorId, 168);
AT(Equation, triggerName, 172);
AT(Equation, triggerId, 252);
AT(Equation, variable, 256);
AT(Equation, parameters, 264);
AT(Equation, numParameters, 272);
AT(Equation, currentParameterIndex, 276);
AT(Equation, subscribers, 280);
AT(Equation, numSubscribers, 288);
AT(Equation, subscriberCapacity, 292);
AT(Equation, reservedIndex, 296);
SIZE(Equation, 304);

AT(EquationPalette, userData, 0);
AT(EquationPalette, slots, 8);
AT(EquationPalette, numEquations, 16);
AT(EquationPalette, capacity, 20);
AT(EquationPalette, currentIndex, 24);
SIZE(EquationPalette, 32);

AT(AppVariableRecord, name, 0);
AT(AppVariableRecord, dataTypeName, 1024);
AT(AppVariableRecord, address, 1104);
SIZE(AppVariableRecord, 1112);

int main(void) {
    /* Referencing the library proves a C program links against it. */
    printf("%d triggers before start\n", (int)KVAT_GetNumTypes());
    return 0;
}
