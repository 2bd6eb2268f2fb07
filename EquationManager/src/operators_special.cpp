// Special operators: moving values between types, range tests, DriveDOF, AsciiFile playback.
// Invariant: each writes only its result variable (AsciiFile also its file handle parameter),
// and writes nothing when a parameter it needs is null.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "internal/memory.h"
#include "internal/operators.h"
#include "internal/parameters.h"
#include "ztequationmanager/equation.h"

namespace zteqm {

namespace {

// Move Value ----------------------------------------------------------------------------------

constexpr bool is_integer_type(int32_t type) { return type >= kCharType && type <= kIntType; }
constexpr bool is_real_type(int32_t type) { return type == kFloatType || type == kDoubleType; }
constexpr bool is_vector_type(int32_t type) { return type == kFloat4Type || type == kFloat4x4Type; }

enum class Move { unsupported, integer, integer_to_double, real, address };

Move choose_move(int32_t target, int32_t source) {
    if (is_integer_type(target)) {
        if (is_integer_type(source) || is_real_type(source)) return Move::integer;
        if (is_vector_type(source)) return Move::address;
    } else if (is_real_type(target)) {
        if (is_integer_type(source)) return Move::integer_to_double;
        if (is_real_type(source)) return Move::real;
        if (is_vector_type(source)) return Move::address;
    } else if (is_vector_type(target) && source == target) {
        return Move::address;
    }
    return Move::unsupported;
}

int32_t move_value(Variable *result, int32_t numParameters, Parameter **parameters) {
    if (!has_parameters(parameters, numParameters, 1)) return 0;
    Parameter *target = result_parameter(result);
    Parameter *source = parameters[0];
    const int32_t targetType = KVAP_GetDataTypeID(target);
    switch (choose_move(targetType, KVAP_GetDataTypeID(source))) {
        case Move::integer:
            KVAP_SetInteger(target, KVAP_GetInteger(source));
            return 1;
        case Move::integer_to_double:
            KVAP_SetDouble(target, static_cast<double>(KVAP_GetInteger(source)));
            return 1;
        case Move::real:
            KVAP_SetDouble(target, KVAP_GetDouble(source));
            return 1;
        case Move::address:
            KVAP_SetAddress(target, KVAP_GetAddress(source));
            return 1;
        case Move::unsupported:
            break;
    }
    return 0;
}

// Range tests -------------------------------------------------------------------------------

double clamp(double value, double lower, double upper) {
    if (lower >= value) value = lower;
    if (value >= upper) value = upper;
    return value;
}

// The bounds may come in either order; both count as inside. NaN compares false everywhere.
int32_t is_between(double value, double boundA, double boundB) {
    const bool ascending = boundB > boundA;
    const double low = ascending ? boundA : boundB;
    const double high = ascending ? boundB : boundA;
    return (low <= value && value <= high) ? 1 : 0;
}

// The bounds themselves count as outside; a NaN value is neither.
int32_t is_outside(double value, double boundA, double boundB) {
    const bool ascending = boundB > boundA;
    const double low = ascending ? boundA : boundB;
    const double high = ascending ? boundB : boundA;
    return (value <= low || value >= high) ? 1 : 0;
}

// DriveDOF ----------------------------------------------------------------------------------

// Only the limit on the side of the direction is read. The limit is tested against the current
// value, not the stepped one, so the crossing step overshoots and the next one lands on it.
int32_t drive_dof(Variable *result, int32_t numParameters, Parameter **parameters) {
    if (!has_parameters(parameters, numParameters, 6)) return 0;
    const bool increase = KVAP_GetInteger(parameters[0]) != 0;
    const bool stopAtLimit = KVAP_GetInteger(parameters[1]) != 0;
    const double current = KVAP_GetDouble(parameters[2]);
    const double step = KVAP_GetDouble(parameters[3]);
    double next;
    if (increase) {
        const double upper = KVAP_GetDouble(parameters[5]);
        next = (stopAtLimit && !(upper > current)) ? upper : current + step;
    } else {
        const double lower = KVAP_GetDouble(parameters[4]);
        next = (stopAtLimit && !(current > lower)) ? lower : current - step;
    }
    write_result(result, next);
    return 1;
}

// AsciiFile ---------------------------------------------------------------------------------

// The files AsciiFile has opened and not yet closed. A handle store is an ordinary parameter:
// it may hold anything before the first evaluation (a new literal holds 10.0) or a handle that
// a copy of the equation has already closed. Only handles listed here are ever read or closed.
struct OpenFiles {
    FILE **handles = nullptr;
    int32_t capacity = 0;
    int32_t count = 0;
};
OpenFiles openFiles;

int32_t find_open_file(FILE *file) {
    for (int32_t index = 0; index < openFiles.count; ++index) {
        if (openFiles.handles[index] == file) return index;
    }
    return -1;
}

bool remember_open_file(FILE *file) {
    if (openFiles.count == openFiles.capacity &&
        !grow_array(openFiles.handles, openFiles.capacity,
                    openFiles.capacity == 0 ? 4 : openFiles.capacity * 2)) {
        return false;
    }
    openFiles.handles[openFiles.count++] = file;
    return true;
}

// Closes a listed file; the list's block goes back to the host once no file is open.
void close_open_file(int32_t index) {
    std::fclose(openFiles.handles[index]);
    openFiles.handles[index] = openFiles.handles[--openFiles.count];
    if (openFiles.count == 0) {
        KVAMEM_Free(openFiles.handles);
        openFiles = OpenFiles{};
    }
}

// Parameter 3 can keep a handle only when its value type stores an address's 8 bytes as they
// are (the numbers and "address"); any other store would lose the handle and leak the file.
bool can_keep_handle(Parameter *store) {
    const int32_t type = KVAP_GetDataTypeID(store);
    return type >= kCharType && type <= kAddressType;
}

// The value whose text the value text of `parameter` just gave: its own, or for a reference the
// referenced result variable's (the text read resolved and checked the reference).
Value *value_behind_text(Parameter *parameter) {
    if (KVAP_GetTypeID(parameter) != kEquationTypeId) return embedded_value(parameter);
    Equation *referenced = reinterpret_cast<EquationParameter *>(parameter)->equation;
    return referenced != nullptr ? KVAP_GetVariableValue(KVAEQ_GetVariable(referenced)) : nullptr;
}

// The whole text of a "string" value, when its block holds a terminated one: file names are
// often longer than the 79 characters of a parameter's text field.
const char *whole_string(const Value *value) {
    if (value == nullptr || value->typeId != kStringType || value->data.p == nullptr ||
        value->size <= 0) {
        return nullptr;
    }
    const auto *text = static_cast<const char *>(value->data.p);
    return std::memchr(text, '\0', static_cast<size_t>(value->size)) != nullptr ? text : nullptr;
}

// Opens the file named by parameter 1's value text (the whole text of a "string") and stores
// its handle, or null, in the store.
FILE *open_playback(Parameter *fileName, Parameter *store) {
    if (!can_keep_handle(store)) return nullptr;
    char *text = nullptr;
    KVAP_GetString(fileName, &text, 1);
    const char *name = text;
    if (name != nullptr) {
        if (const char *whole = whole_string(value_behind_text(fileName))) name = whole;
    }
    // Read as bytes: a text-mode read would turn CR LF into LF on Windows only, and stop at a
    // Ctrl-Z there. Line ends are handled by read_line, alike on every platform.
    FILE *file = name != nullptr ? std::fopen(name, "rb") : nullptr;
    if (file != nullptr && !remember_open_file(file)) {
        std::fclose(file);
        file = nullptr;
    }
    KVAP_SetAddress(store, file);
    return file;
}

void end_playback(Parameter *store, FILE *file) {
    const int32_t index = find_open_file(file);
    if (index >= 0) close_open_file(index);
    KVAP_SetAddress(store, nullptr);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

const char *skip_blanks(const char *cursor) {
    while (is_blank(*cursor)) ++cursor;
    return cursor;
}

// The start of the column's field (a column of 1 or less selects the first), or null when the
// line has fewer fields. Fields are found by the next space, and only when the rest of the line
// holds none, by the next tab.
const char *find_field(const char *line, int32_t column) {
    if (column == 0) return line;
    const char *cursor = skip_blanks(line);
    for (int32_t field = 1; field < column; ++field) {
        const char *separator = std::strchr(cursor, ' ');
        if (separator == nullptr) separator = std::strchr(cursor, '\t');
        if (separator == nullptr) return nullptr;
        cursor = skip_blanks(separator);
    }
    return cursor;
}

// Lines longer than the buffer are played back in runs of 1023 characters.
constexpr int kLineBufferSize = 1024;

// Reads the next line, or run of a long line, into `line`; false at the end of the file. A CR
// LF line end counts as one character, as LF does: a run that ends in the CR takes its LF
// along, so a file plays the same runs whichever line ends it was written with.
bool read_line(FILE *file, char (&line)[kLineBufferSize]) {
    if (std::fgets(line, kLineBufferSize, file) == nullptr) return false;
    const std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\r') {
        const int next = std::getc(file);
        if (next != '\n' && next != EOF) std::ungetc(next, file);
    }
    return true;
}

// One line per evaluation; the end of the file closes it, so the next evaluation starts over.
int32_t ascii_file(Variable *result, int32_t numParameters, Parameter **parameters) {
    // Without parameter 3 the handle could not be kept, and every evaluation would leak a file.
    if (!has_parameters(parameters, numParameters, 4)) return 0;
    Parameter *store = parameters[3];
    if (KVAP_GetInteger(parameters[0]) == 0) {
        FILE *file = static_cast<FILE *>(KVAP_GetAddress(store));
        if (file != nullptr) end_playback(store, file);
        return 1;
    }
    const int32_t column = KVAP_GetInteger(parameters[2]);
    FILE *file = static_cast<FILE *>(KVAP_GetAddress(store));
    if (find_open_file(file) < 0) file = open_playback(parameters[1], store);
    if (file == nullptr) return 1;

    char line[kLineBufferSize];
    if (!read_line(file, line)) {
        end_playback(store, file);
        return 1;
    }
    const char *field = find_field(line, column);
    double number = 0.0;
    if (field != nullptr && std::sscanf(field, "%lf", &number) == 1) write_result(result, number);
    return 1;
}

constexpr BuiltInOperator kSpecialOperators[] = {
    {"Move Value", 1, move_value},
    {"Clamp", 3, computed_operator<clamp>},
    {"DriveDOF", 6, drive_dof},
    {"IsBetween", 3, computed_operator<is_between>},
    {"IsOutside", 3, computed_operator<is_outside>},
    {"AsciiFile", 4, ascii_file},
};

}  // namespace

std::span<const BuiltInOperator> special_operators() { return kSpecialOperators; }

}  // namespace zteqm
