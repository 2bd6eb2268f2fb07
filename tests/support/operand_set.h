// Operands for calling operator functions directly: literals, result variables, and variables
// whose reads are logged in order through their get callback.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace testhost {

// Owns every parameter and variable it makes and releases them when it goes.
class OperandSet {
public:
    OperandSet() = default;
    OperandSet(const OperandSet &) = delete;
    OperandSet &operator=(const OperandSet &) = delete;
    ~OperandSet();

    // Literals of the named value type ("double", "int", "string", ...).
    Parameter *number(double value);
    Parameter *integer(int32_t value);
    Parameter *text(const char *value);
    Parameter *address(void *value);
    // A literal of the value type, holding whatever that type starts with.
    Parameter *typed(const char *valueType);

    // A "Temporary" variable of the value type whose get callback appends `label` to reads()
    // before each read; values queued with feed() are stored into it, one per read. A variable
    // with a get callback is read as integer from its raw bits, so integer operands are "int".
    // A null value type leaves the variable without one (value type identifier 0).
    Parameter *recorded(const char *label, double value, const char *valueType = "double");
    void feed(Parameter *recordedParameter, std::initializer_list<double> values);

    // A result variable as an equation has it: "Temporary", defaults, then the value type.
    Variable *result(const char *valueType = "double", double initial = 0.0);

    // Labels of the recorded reads, in call order.
    const std::vector<std::string> &reads() const { return log_; }
    void clear_reads() { log_.clear(); }

private:
    struct Recording {
        OperandSet *owner;
        std::string label;
        std::deque<double> pending;
    };
    static void on_read(Parameter *parameter, void *userData);

    std::vector<Parameter *> parameters_;
    std::vector<Variable *> variables_;
    std::deque<Recording> recordings_;
    std::vector<std::string> log_;
};

// Calls the operator registered under `name` with the given parameter array and its length.
int32_t call_operator(const char *name, Variable *result, std::vector<Parameter *> parameters);

// The result variable's value, read as a double or an integer.
double result_double(Variable *result);
int32_t result_integer(Variable *result);

// Calls the operator once per parameter position with that parameter null and the others
// recorded: every call must give status 0, read nothing and leave the result as it was.
void expect_null_parameters_refused(const char *name);

// Calls the operator with every parameter recorded: each is read once, in order.
void expect_each_parameter_read_once_in_order(const char *name);

}  // namespace testhost
