// A scene's dependency graph: which equations read which attributes, application variables,
// data files and other equations, and which attributes they drive, as Graphviz DOT text.
#pragma once

#include <string>
#include <vector>

#include "scene.h"

namespace eqm {

// Every cycle of equations reading each other through references, each as the path of
// equation names that comes back to its first ("Ping", "Pong", "Ping").
std::vector<std::vector<std::string>> reference_cycles(const Scene &scene);

// The DOT text of the scene's graph: one cluster per database holding its equations and the
// attributes they touch; application variables and data files outside. Equations and the
// references on a cycle are drawn in red.
std::string scene_graph_dot(const Scene &scene);

}  // namespace eqm
