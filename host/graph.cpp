// The scene graph in DOT: written by the host, laid out by Graphviz when asked for a picture.
#include "graph.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace eqm {

namespace {

std::string dot_text(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string equation_id(const std::string &name) { return dot_text("equation:" + name); }

// The database that holds an attribute.
const Database *owner_of(const Scene &scene, const Attribute *attribute) {
    for (const auto &database : scene.databases) {
        for (const auto &held : database->attributes) {
            if (held.get() == attribute) return database.get();
        }
    }
    return nullptr;
}

}  // namespace

std::vector<std::vector<std::string>> reference_cycles(const Scene &scene) {
    std::vector<std::vector<std::string>> cycles;
    for (const ReferenceCycle &cycle : find_reference_cycles(scene)) {
        std::vector<std::string> names;
        for (const EquationPlan *step : cycle.path) names.push_back(step->name);
        cycles.push_back(std::move(names));
    }
    return cycles;
}

std::string scene_graph_dot(const Scene &scene) {
    // What lies on a cycle: its equations, and each reference (reader, read) along it.
    std::set<std::string> onCycle;
    std::set<std::pair<std::string, std::string>> cycleEdges;
    for (const auto &cycle : reference_cycles(scene)) {
        for (std::size_t i = 0; i + 1 < cycle.size(); ++i) {
            onCycle.insert(cycle[i]);
            cycleEdges.insert({cycle[i], cycle[i + 1]});
        }
    }

    // The attributes the equations touch, by database, in the database's order.
    std::set<const Attribute *> touched;
    std::set<std::string> apps;
    std::set<std::string> files;
    for (const auto &database : scene.databases) {
        for (const EquationPlan &equation : database->equations) {
            if (equation.result.drives) {
                touched.insert(scene.resolve_attribute(*equation.result.drives, *database));
            }
            for (const ParameterPlan &parameter : equation.parameters) {
                if (parameter.kind == ParameterPlan::Kind::Attribute) {
                    const Database *home = scene.find_database(parameter.database);
                    if (home != nullptr) touched.insert(home->find_attribute(parameter.text));
                } else if (parameter.kind == ParameterPlan::Kind::AppVariable) {
                    apps.insert(parameter.text);
                } else if (parameter.kind == ParameterPlan::Kind::File) {
                    files.insert(parameter.text);
                }
            }
        }
    }
    touched.erase(nullptr);
    auto attribute_id = [&](const Attribute *attribute) {
        const Database *home = owner_of(scene, attribute);
        return dot_text((home != nullptr ? home->name : std::string()) + "/" + attribute->path());
    };

    std::ostringstream dot;
    dot << "digraph " << dot_text(scene.file.stem().string()) << " {\n";
    dot << "  graph [rankdir=LR, fontname=\"Helvetica\", labelloc=t, fontsize=16";
    if (!scene.title.empty()) dot << ", label=" << dot_text(scene.title);
    dot << "];\n";
    dot << "  node [fontname=\"Helvetica\", fontsize=11];\n";
    dot << "  edge [fontname=\"Helvetica\", fontsize=9, color=\"#555555\"];\n";
    for (const std::string &app : apps) {
        dot << "  " << dot_text("app:" + app) << " [label=" << dot_text(app)
            << ", shape=cds, style=filled, fillcolor=\"#d9ead3\"];\n";
    }
    for (const std::string &file : files) {
        dot << "  " << dot_text("file:" + file) << " [label=" << dot_text(file)
            << ", shape=note, style=filled, fillcolor=\"#fff2cc\"];\n";
    }
    for (const auto &database : scene.databases) {
        dot << "  subgraph " << dot_text("cluster_" + database->name) << " {\n";
        dot << "    label=" << dot_text(database->name) << "; style=rounded; color=\"#999999\";\n";
        for (const auto &attribute : database->attributes) {
            if (touched.count(attribute.get()) == 0) continue;
            dot << "    " << attribute_id(attribute.get()) << " [label="
                << dot_text(attribute->path() + (attribute->valueType == "double"
                                                     ? ""
                                                     : " (" + attribute->valueType + ")"))
                << ", shape=ellipse, style=filled, fillcolor=\"#dae8fc\"];\n";
        }
        for (const EquationPlan &equation : database->equations) {
            std::string label = equation.name + "\n" + equation.op;
            if (equation.trigger != "New Frame") label += " (" + equation.trigger + ")";
            dot << "    " << equation_id(equation.name) << " [label=" << dot_text(label)
                << ", shape=box, style=\"rounded,filled\", fillcolor="
                << (onCycle.count(equation.name) != 0 ? "\"#f4cccc\", color=red, penwidth=2"
                                                      : "\"#f3f3f3\"")
                << "];\n";
        }
        dot << "  }\n";
    }
    // Reads point from what is read to the equation that reads it; drives from the equation to
    // its attribute.
    for (const auto &database : scene.databases) {
        for (const EquationPlan &equation : database->equations) {
            const std::string reader = equation_id(equation.name);
            for (std::size_t i = 0; i < equation.parameters.size(); ++i) {
                const ParameterPlan &parameter = equation.parameters[i];
                const std::string position = "label=\"" + std::to_string(i) + "\"";
                switch (parameter.kind) {
                    case ParameterPlan::Kind::Attribute: {
                        const Database *home = scene.find_database(parameter.database);
                        const Attribute *attribute =
                            home != nullptr ? home->find_attribute(parameter.text) : nullptr;
                        if (attribute == nullptr) break;
                        dot << "  " << attribute_id(attribute) << " -> " << reader << " ["
                            << position << "];\n";
                        break;
                    }
                    case ParameterPlan::Kind::AppVariable:
                        dot << "  " << dot_text("app:" + parameter.text) << " -> " << reader << " ["
                            << position << "];\n";
                        break;
                    case ParameterPlan::Kind::File:
                        dot << "  " << dot_text("file:" + parameter.text) << " -> " << reader
                            << " [" << position << "];\n";
                        break;
                    case ParameterPlan::Kind::Equation:
                        if (parameter.text.empty()) break;
                        dot << "  " << equation_id(parameter.text) << " -> " << reader << " ["
                            << position << ", style=dashed"
                            << (cycleEdges.count({equation.name, parameter.text}) != 0
                                    ? ", color=red, fontcolor=red, penwidth=2"
                                    : ", color=\"#3c78d8\"")
                            << "];\n";
                        break;
                    case ParameterPlan::Kind::Literal:
                        break;
                }
            }
            if (equation.result.drives) {
                if (const Attribute *driven =
                        scene.resolve_attribute(*equation.result.drives, *database)) {
                    dot << "  " << reader << " -> " << attribute_id(driven)
                        << " [label=\"drives\", penwidth=2, color=black];\n";
                }
            }
        }
    }
    dot << "}\n";
    return dot.str();
}

}  // namespace eqm
