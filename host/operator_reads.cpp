// The table of how each built-in operator reads its parameters, one letter per parameter:
// i integer, d double, v by value type, t text, a address, - not read.
#include "operator_reads.h"

#include <cstring>

namespace eqm {

namespace {

struct OperatorReads {
    const char *name;
    const char *reads;
};

constexpr OperatorReads kReads[] = {
    {"Move Value", "v"},  {"Clamp", "ddd"},     {"DriveDOF", "iidddd"},
    {"IsBetween", "ddd"}, {"IsOutside", "ddd"}, {"AsciiFile", "itia"},
    {"++", "i"},          {"--", "i"},          {"~", "i"},
    {"!", "i"},           {"&", "i"},           {"*Var", "-"},
    {"Change Sign", "d"}, {"*", "dd"},          {"/", "dd"},
    {"%", "ii"},          {"+", "dd"},          {"-", "dd"},
    {"<<", "ii"},         {">>", "ii"},         {"<", "dd"},
    {"<=", "dd"},         {">", "dd"},          {">=", "dd"},
    {"==", "dd"},         {"!=", "dd"},         {"& Bitwise", "ii"},
    {"^ Bitwise", "ii"},  {"| Bitwise", "ii"},  {"&&", "ii"},
    {"||", "ii"},         {"? :", "idd"},       {"abs", "i"},
    {"acos", "d"},        {"asin", "d"},        {"atan", "d"},
    {"atan2", "dd"},      {"ceiling", "d"},     {"cos", "d"},
    {"cosh", "d"},        {"Rad to Deg", "d"},  {"exp", "d"},
    {"floor", "d"},       {"fmod", "dd"},       {"isfinite", "d"},
    {"isnan", "d"},       {"lerp", "ddd"},      {"log", "d"},
    {"log10", "d"},       {"max", "dd"},        {"min", "dd"},
    {"pow", "dd"},        {"Deg to Rad", "d"},  {"round", "d"},
    {"sign", "d"},        {"sin", "d"},         {"sinh", "d"},
    {"step", "dd"},       {"sqrt", "d"},        {"tan", "d"},
    {"tanh", "d"},
};

}  // namespace

Read operator_read(const std::string &op, std::size_t position) {
    for (const OperatorReads &entry : kReads) {
        if (op != entry.name) continue;
        if (position >= std::strlen(entry.reads)) return Read::Unread;
        switch (entry.reads[position]) {
            case 'i':
                return Read::Integer;
            case 'd':
                return Read::Double;
            case 'v':
                return Read::ByType;
            case 't':
                return Read::Text;
            case 'a':
                return Read::Address;
            default:
                return Read::Unread;
        }
    }
    return Read::Unread;
}

const char *describe(Read read) {
    switch (read) {
        case Read::Integer:
            return "an integer";
        case Read::Double:
            return "a double";
        case Read::ByType:
            return "a number of its own type";
        case Read::Text:
            return "text";
        case Read::Address:
            return "an address";
        case Read::Unread:
            break;
    }
    return "nothing";
}

}  // namespace eqm
