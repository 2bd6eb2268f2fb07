// What the manager's lifecycle needs from the application variable registry below it.
#pragma once

namespace zteqm {

// Releases the application variable registry; the library's stop calls it. (app_variables.cpp)
void release_app_variables();

}  // namespace zteqm
