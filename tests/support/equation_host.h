// Test support for equations and palettes: builders, a tracing operator and subscribers that
// record every notification in one shared log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace testhost {

// Everything the tracing operator and the recording subscribers saw, in order: "run <name>"
// for each operator call (the name is the result variable's, which add_equation sets to the
// equation's name) and "<label>=<value>" for each notification.
std::vector<std::string> &events();

// Registers "Trace<n>": an operator of n parameters that logs its run and writes the sum of its
// parameters read as doubles (a null parameter counts as 0). Returns its name.
const char *register_trace_operator(int32_t numParameters);

// Registers a subscriber type whose notify callback logs "<label>=<value>", the label being the
// subscriber's user data (a C string) and the value the result read as a double. Returns its
// identifier. The interest callback, when given, is the type's.
int32_t register_recorder(const char *typeName, SubscriberInterestFunc interest = nullptr);

// Subscribes a recorder of the type to the equation under the label.
void subscribe(Equation *equation, int32_t recorderType, const char *label);

// Makes an equation at the lowest free index of the palette with the name, the operator (its
// parameter list sized to the operator's count) and the trigger, and names its result variable
// after it. Returns the index, or -1.
int32_t add_equation(EquationPalette *palette, const char *name, const char *op,
                     const char *trigger = "New Frame");

// The live equation at the index, taken afresh (slots move when the palette grows).
Equation *equation_at(EquationPalette *palette, int32_t index);

// Stores the number in the literal at the position.
void set_number(EquationPalette *palette, int32_t index, int32_t position, double number);

// Replaces the parameter at the position by an "Equation" parameter naming `name` (resolved at
// once, as the text function does) and returns it.
Parameter *refer(EquationPalette *palette, int32_t index, int32_t position, const char *name);

// The equation's last result as a double, without evaluating anything.
double result_of(EquationPalette *palette, int32_t index);

// The referenced equation cached in an "Equation" parameter.
Equation *cached_reference(Parameter *parameter);

}  // namespace testhost
