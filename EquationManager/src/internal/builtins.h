// The built-in identifiers, named once for the library: the value types and the parameter
// types the library registers at start-up, and the classes of value types its code tells apart.
#pragma once

#include <cstdint>

#include "ztequationmanager/parameter.h"
#include "ztequationmanager/value.h"

namespace zteqm {

// Value types.
constexpr int32_t kNoValueType = ZTEQM_VALUE_NONE;
constexpr int32_t kCharType = ZTEQM_VALUE_CHAR;
constexpr int32_t kShortType = ZTEQM_VALUE_SHORT;
constexpr int32_t kIntType = ZTEQM_VALUE_INT;
constexpr int32_t kFloatType = ZTEQM_VALUE_FLOAT;
constexpr int32_t kDoubleType = ZTEQM_VALUE_DOUBLE;
constexpr int32_t kAddressType = ZTEQM_VALUE_ADDRESS;
constexpr int32_t kFloat4Type = ZTEQM_VALUE_FLOAT4;
constexpr int32_t kFloat4x4Type = ZTEQM_VALUE_FLOAT4X4;
constexpr int32_t kStringType = ZTEQM_VALUE_STRING;

// Numbers held inline in the value's 8 bytes ("char" to "double").
constexpr bool holds_inline_number(int32_t typeId) {
    return typeId >= kCharType && typeId <= kDoubleType;
}
// Types whose data lives in a separate block ("float4", "float4x4", "string").
constexpr bool keeps_block(int32_t typeId) {
    return typeId >= kFloat4Type && typeId <= kStringType;
}

// Parameter types.
constexpr int32_t kLiteralTypeId = ZTEQM_PARAMETER_LITERAL;
constexpr int32_t kTemporaryTypeId = ZTEQM_PARAMETER_TEMPORARY;
constexpr int32_t kCgShaderTypeId = ZTEQM_PARAMETER_CG_SHADER;
constexpr int32_t kNodeAttributeTypeId = ZTEQM_PARAMETER_NODE_ATTRIBUTE;
constexpr int32_t kAppVariableTypeId = ZTEQM_PARAMETER_APP_VARIABLE;
constexpr int32_t kEquationTypeId = ZTEQM_PARAMETER_EQUATION;
constexpr int32_t kGlslShaderTypeId = ZTEQM_PARAMETER_GLSL_SHADER;

}  // namespace zteqm
