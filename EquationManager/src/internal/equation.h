// The equation record from the inside: what the palettes that hold equations share with the
// equations' own code.
#pragma once

#include "ztequationmanager/equation.h"

namespace zteqm {

// Clears the record's object fields (result variable, parameter list, subscriber list) without
// releasing anything: whoever copied the record first now owns those objects.
inline void detach_objects(Equation *equation) {
    equation->variable = nullptr;
    equation->parameters = nullptr;
    equation->numParameters = 0;
    equation->subscribers = nullptr;
    equation->numSubscribers = 0;
    equation->subscriberCapacity = 0;
}

}  // namespace zteqm
