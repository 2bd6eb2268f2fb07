// Reading a scene: JSON text to databases, attributes, equations and watched columns, with
// every problem that can be found without the library reported at its place.
#include "scene.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace eqm {

using Json = nlohmann::ordered_json;

// Letters compare without regard to case.
std::size_t edit_distance(const std::string &a, const std::string &b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool has_errors(const std::vector<Problem> &problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const Problem &problem) { return !problem.warning; });
}

bool is_attribute_value_type(const std::string &valueType) {
    return valueType == "double" || valueType == "float" || valueType == "int" ||
           valueType == "short" || valueType == "char";
}

namespace {

// Doubles become 32-bit integers by truncation toward zero, saturated, NaN giving 0.
int32_t saturate_to_int32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

double Attribute::get() const {
    if (valueType == "double") return storage.d;
    if (valueType == "float") return storage.f;
    if (valueType == "int") return storage.i;
    if (valueType == "short") return storage.s;
    return storage.c;
}

void Attribute::set_integer(int32_t value) {
    storage = AttributeStorage{};
    if (valueType == "double")
        storage.d = value;
    else if (valueType == "float")
        storage.f = static_cast<float>(value);
    else if (valueType == "int")
        storage.i = value;
    else if (valueType == "short")
        storage.s = static_cast<int16_t>(value);
    else
        storage.c = static_cast<int8_t>(value);
}

void Attribute::set(double value) {
    if (valueType == "double") {
        storage = AttributeStorage{};
        storage.d = value;
    } else if (valueType == "float") {
        storage = AttributeStorage{};
        storage.f = static_cast<float>(value);
    } else {
        set_integer(saturate_to_int32(value));
    }
}

Attribute *Database::find_attribute(const std::string &path) const {
    for (const auto &attribute : attributes) {
        if (attribute->path() == path) return attribute.get();
    }
    return nullptr;
}

Database *Scene::find_database(const std::string &name) const {
    for (const auto &database : databases) {
        if (database->name == name) return database.get();
    }
    return nullptr;
}

Attribute *Scene::resolve_attribute(const std::string &reference, const Database &home) const {
    const std::size_t slash = reference.find('/');
    if (slash == std::string::npos) return home.find_attribute(reference);
    const Database *database = find_database(reference.substr(0, slash));
    return database != nullptr ? database->find_attribute(reference.substr(slash + 1)) : nullptr;
}

namespace {

std::string in_quotes(const std::string &text) { return "\"" + text + "\""; }

std::string json_kind(const Json &value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a text";
        case Json::value_t::boolean:
            return "true or false";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return "a number";
        default:
            return "something else";
    }
}

// The range of a number type as text when `value` lies outside it, else null: a value outside
// would wrap ("char" 300 reads as 44) or become infinite.
const char *outside_range(const std::string &valueType, double value) {
    struct Range {
        const char *type;
        double least, most;
        const char *text;
    };
    static const Range ranges[] = {
        {"char", -128.0, 127.0, "-128 to 127"},
        {"short", -32768.0, 32767.0, "-32768 to 32767"},
        {"int", -2147483648.0, 2147483647.0, "-2147483648 to 2147483647"},
        {"float", -3.4028234663852886e38, 3.4028234663852886e38, "about -3.4e38 to 3.4e38"},
    };
    for (const Range &range : ranges) {
        if (valueType == range.type && !(value >= range.least && value <= range.most)) {
            return range.text;
        }
    }
    return nullptr;
}

std::string exact_text(double value) {
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
}

// A name that may appear inside "node.attribute" and "database/node.attribute".
bool is_plain_name(const std::string &name) {
    return !name.empty() && name.find_first_of("./") == std::string::npos;
}

class SceneReader {
public:
    SceneReader(Scene &scene, std::vector<Problem> &problems)
        : scene_(scene), problems_(problems) {}

    void read(const Json &root) {
        if (!root.is_object()) {
            problem("", "a scene is a JSON object, not " + json_kind(root));
            return;
        }
        allow_keys(root, "", {"title", "frames", "fps", "databases", "watch"});
        if (auto title = text(root, "title", "", false)) scene_.title = *title;
        read_frames(root);
        read_databases(root);
        check_references();
        read_watches(root);
        check_watched_names();
        warn_unreached_equations();
    }

private:
    void problem(const std::string &where, const std::string &message) {
        problems_.push_back({where, message});
    }

    static std::string member_path(const std::string &where, const std::string &key) {
        return where.empty() ? key : where + "." + key;
    }

    void allow_keys(const Json &object, const std::string &where,
                    std::initializer_list<const char *> known) {
        for (const auto &[key, value] : object.items()) {
            bool found = false;
            for (const char *name : known) found = found || key == name;
            if (!found) {
                std::string list;
                for (const char *name : known) list += (list.empty() ? "" : ", ") + in_quotes(name);
                problem(member_path(where, key),
                        "unknown key " + in_quotes(key) + " (known here: " + list + ")");
            }
        }
    }

    std::optional<std::string> text(const Json &object, const char *key, const std::string &where,
                                    bool required) {
        auto found = object.find(key);
        if (found == object.end()) {
            if (required) problem(where, std::string("needs ") + in_quotes(key));
            return std::nullopt;
        }
        if (!found->is_string()) {
            problem(member_path(where, key), "must be a text, not " + json_kind(*found));
            return std::nullopt;
        }
        return found->get<std::string>();
    }

    // A name for the library's 80-character fields.
    std::optional<std::string> name(const Json &object, const char *key, const std::string &where,
                                    bool required) {
        auto value = text(object, key, where, required);
        if (!value) return std::nullopt;
        if (value->empty()) {
            problem(member_path(where, key), "must not be empty");
            return std::nullopt;
        }
        if (value->size() > kMaxNameLength) {
            problem(member_path(where, key),
                    "is longer than " + std::to_string(kMaxNameLength) + " characters");
            return std::nullopt;
        }
        return value;
    }

    void read_frames(const Json &root) {
        if (auto frames = root.find("frames"); frames != root.end()) {
            if (!frames->is_number_integer() || frames->get<int64_t>() < 0 ||
                frames->get<int64_t>() > 1000000) {
                problem("frames", "must be a whole number from 0 to 1000000");
            } else {
                scene_.frames = static_cast<int32_t>(frames->get<int64_t>());
            }
        }
        if (auto fps = root.find("fps"); fps != root.end()) {
            if (!fps->is_number() || !(fps->get<double>() > 0.0) ||
                !std::isfinite(fps->get<double>())) {
                problem("fps", "must be a number above 0");
            } else {
                scene_.fps = fps->get<double>();
            }
        }
    }

    void read_databases(const Json &root) {
        auto databases = root.find("databases");
        if (databases == root.end()) {
            problem("", "needs \"databases\", a list of databases");
            return;
        }
        if (!databases->is_array() || databases->empty()) {
            problem("databases", "must be a list of at least one database");
            return;
        }
        for (std::size_t i = 0; i < databases->size(); ++i) {
            read_database((*databases)[i], "databases[" + std::to_string(i) + "]");
        }
    }

    void read_database(const Json &object, std::string where) {
        if (!object.is_object()) {
            problem(where, "a database is an object, not " + json_kind(object));
            return;
        }
        auto database = std::make_unique<Database>();
        if (auto value = text(object, "name", where, true)) {
            if (!is_plain_name(*value)) {
                problem(member_path(where, "name"),
                        "a database name is not empty and holds no "
                        "'.' or '/'");
            } else if (scene_.find_database(*value) != nullptr) {
                problem(member_path(where, "name"),
                        "another database is named " + in_quotes(*value));
            }
            database->name = *value;
            where += "(" + *value + ")";
        }
        database->where = where;
        allow_keys(object, where, {"name", "nodes", "equations"});
        read_nodes(object, *database);
        if (auto equations = object.find("equations"); equations != object.end()) {
            if (!equations->is_array()) {
                problem(member_path(where, "equations"), "must be a list of equations");
            } else {
                for (std::size_t i = 0; i < equations->size(); ++i) {
                    read_equation((*equations)[i], *database,
                                  member_path(where, "equations[" + std::to_string(i) + "]"));
                }
            }
        }
        scene_.databases.push_back(std::move(database));
    }

    void read_nodes(const Json &object, Database &database) {
        auto nodes = object.find("nodes");
        if (nodes == object.end()) return;
        const std::string where = member_path(database.where, "nodes");
        if (!nodes->is_object()) {
            problem(where, "must be an object of nodes, each an object of attributes");
            return;
        }
        for (const auto &[node, attributes] : nodes->items()) {
            const std::string nodeWhere = member_path(where, node);
            if (!is_plain_name(node)) {
                problem(nodeWhere, "a node name is not empty and holds no '.' or '/'");
                continue;
            }
            if (!attributes.is_object()) {
                problem(nodeWhere,
                        "a node is an object of numeric attributes, not " + json_kind(attributes));
                continue;
            }
            for (const auto &[name, value] : attributes.items()) {
                read_attribute(database, node, name, value, member_path(nodeWhere, name));
            }
        }
    }

    void read_attribute(Database &database, const std::string &node, const std::string &name,
                        const Json &value, const std::string &where) {
        if (!is_plain_name(name)) {
            problem(where, "an attribute name is not empty and holds no '.' or '/'");
            return;
        }
        auto attribute = std::make_unique<Attribute>();
        attribute->node = node;
        attribute->name = name;
        attribute->valueType = "double";
        const Json *number = &value;
        if (value.is_object()) {
            allow_keys(value, where, {"value", "type"});
            if (auto type = text(value, "type", where, false)) {
                if (!is_attribute_value_type(*type)) {
                    problem(member_path(where, "type"),
                            "an attribute is held as \"double\", \"float\", \"int\", \"short\" or "
                            "\"char\", not " +
                                in_quotes(*type));
                    return;
                }
                attribute->valueType = *type;
            }
            auto found = value.find("value");
            static const Json zero = 0;
            number = found != value.end() ? &*found : &zero;
        }
        if (!number->is_number() || !std::isfinite(number->get<double>())) {
            problem(where,
                    "an attribute holds a finite number (or {\"value\": number, \"type\": "
                    "name}), not " +
                        json_kind(*number));
            return;
        }
        attribute->initial = number->get<double>();
        if (attribute->is_integer() && attribute->initial != std::trunc(attribute->initial)) {
            problem(where, "an attribute held as " + in_quotes(attribute->valueType) +
                               " starts from a whole number");
            return;
        }
        if (const char *range = outside_range(attribute->valueType, attribute->initial)) {
            problem(where, exact_text(attribute->initial) + " is outside the range of " +
                               in_quotes(attribute->valueType) + " (" + range + ")");
            return;
        }
        attribute->set(attribute->initial);
        database.attributes.push_back(std::move(attribute));
    }

    void read_equation(const Json &object, Database &database, std::string where) {
        if (!object.is_object()) {
            problem(where, "an equation is an object, not " + json_kind(object));
            return;
        }
        EquationPlan equation;
        if (auto value = name(object, "name", where, true)) {
            equation.name = *value;
            where += "(" + *value + ")";
        }
        equation.where = where;
        allow_keys(object, where, {"name", "operator", "trigger", "result", "parameters"});
        if (auto value = name(object, "operator", where, true)) equation.op = *value;
        if (auto value = name(object, "trigger", where, false)) equation.trigger = *value;
        read_result(object, database, equation, where);
        if (auto parameters = object.find("parameters"); parameters != object.end()) {
            if (!parameters->is_array()) {
                problem(member_path(where, "parameters"), "must be a list of parameters");
            } else {
                for (std::size_t i = 0; i < parameters->size(); ++i) {
                    equation.parameters.push_back(read_parameter(
                        (*parameters)[i], database,
                        member_path(where, "parameters[" + std::to_string(i) + "]")));
                }
            }
        }
        database.equations.push_back(std::move(equation));
    }

    void read_result(const Json &object, Database &database, EquationPlan &equation,
                     const std::string &equationWhere) {
        ResultPlan &result = equation.result;
        result.where = member_path(equationWhere, "result");
        auto found = object.find("result");
        if (found == object.end()) return;
        if (!found->is_object()) {
            problem(result.where, "must be an object (type, valueType, name, initial, drives)");
            return;
        }
        allow_keys(*found, result.where, {"type", "valueType", "name", "initial", "drives"});
        if (auto value = name(*found, "type", result.where, false)) result.parameterType = *value;
        if (auto value = name(*found, "valueType", result.where, false)) result.valueType = *value;
        if (auto value = text(*found, "name", result.where, false)) {
            if (value->size() > 1023) {
                problem(member_path(result.where, "name"), "is longer than 1023 characters");
            }
            result.name = *value;
        }
        if (auto initial = found->find("initial"); initial != found->end()) {
            if (initial->is_string()) {
                result.initial = initial->get<std::string>();
            } else if (initial->is_number()) {
                result.initial = initial->dump();
            } else {
                problem(member_path(result.where, "initial"),
                        "must be a text or a number, not " + json_kind(*initial));
            }
        }
        if (auto drives = text(*found, "drives", result.where, false)) {
            if (scene_.resolve_attribute(*drives, database) == nullptr) {
                problem(member_path(result.where, "drives"),
                        "no attribute " + in_quotes(*drives) +
                            " (write \"node.attribute\", or "
                            "\"database/node.attribute\" for another database's)");
            } else {
                result.drives = *drives;
            }
        }
    }

    ParameterPlan read_parameter(const Json &value, const Database &database,
                                 const std::string &where) {
        ParameterPlan parameter;
        parameter.where = where;
        parameter.valueType = "double";
        if (value.is_number()) {  // a bare number is a "double" literal
            parameter.text = value.dump();
            return parameter;
        }
        if (!value.is_object()) {
            problem(where,
                    "a parameter is a number or an object with one of \"literal\", "
                    "\"attribute\", \"app\", \"equation\", \"file\"; not " +
                        json_kind(value));
            return parameter;
        }
        static const std::pair<const char *, ParameterPlan::Kind> kinds[] = {
            {"literal", ParameterPlan::Kind::Literal},
            {"attribute", ParameterPlan::Kind::Attribute},
            {"app", ParameterPlan::Kind::AppVariable},
            {"equation", ParameterPlan::Kind::Equation},
            {"file", ParameterPlan::Kind::File},
        };
        int found = 0;
        for (const auto &[key, kind] : kinds) {
            if (value.contains(key)) {
                ++found;
                parameter.kind = kind;
            }
        }
        if (found != 1) {
            parameter.kind = ParameterPlan::Kind::Literal;  // nothing more to check in it
            parameter.valueType.clear();
            problem(where,
                    "a parameter object has exactly one of \"literal\", \"attribute\", "
                    "\"app\", \"equation\", \"file\"");
            return parameter;
        }
        switch (parameter.kind) {
            case ParameterPlan::Kind::Literal: {
                allow_keys(value, where, {"literal", "valueType"});
                const Json &literal = value["literal"];
                if (literal.is_string()) {
                    parameter.text = literal.get<std::string>();
                } else if (literal.is_number()) {
                    parameter.text = literal.dump();
                } else {
                    problem(member_path(where, "literal"),
                            "must be a text or a number, not " + json_kind(literal));
                }
                if (auto type = name(value, "valueType", where, false)) parameter.valueType = *type;
                check_number_text(parameter);
                break;
            }
            case ParameterPlan::Kind::Attribute: {
                allow_keys(value, where, {"attribute", "type"});
                parameter.parameterType = "Node Attribute";
                if (auto type = name(value, "type", where, false)) parameter.parameterType = *type;
                if (auto path = text(value, "attribute", where, true)) {
                    parameter.text = *path;
                    const std::size_t slash = path->find('/');
                    parameter.database =
                        slash == std::string::npos ? database.name : path->substr(0, slash);
                    const Attribute *attribute = scene_.resolve_attribute(*path, database);
                    if (attribute == nullptr) {
                        problem(member_path(where, "attribute"),
                                "no attribute " + in_quotes(*path) +
                                    " (write \"node.attribute\", "
                                    "or \"database/node.attribute\" for another database's)");
                    } else {
                        parameter.text = attribute->path();
                        parameter.valueType = attribute->valueType;
                    }
                }
                break;
            }
            case ParameterPlan::Kind::AppVariable:
                allow_keys(value, where, {"app"});
                if (auto app = text(value, "app", where, true)) parameter.text = *app;
                break;
            case ParameterPlan::Kind::Equation:
                allow_keys(value, where, {"equation"});
                if (auto reference = name(value, "equation", where, true))
                    parameter.text = *reference;
                break;
            case ParameterPlan::Kind::File:
                allow_keys(value, where, {"file"});
                if (auto file = text(value, "file", where, true)) read_file_name(*file, parameter);
                break;
        }
        return parameter;
    }

    // A literal of a number type whose text is no number would silently read as 0.
    void check_number_text(const ParameterPlan &parameter) {
        const std::string &type = parameter.valueType;
        const bool whole = type == "short" || type == "int" || type == "address";
        if (!whole && type != "float" && type != "double") return;
        const char *start = parameter.text.c_str();
        char *end = nullptr;
        double value = 0.0;
        if (whole) {
            value = static_cast<double>(std::strtoll(start, &end, 10));
        } else {
            value = std::strtod(start, &end);
        }
        while (end != nullptr && std::isspace(static_cast<unsigned char>(*end))) ++end;
        if (end == start || end == nullptr || *end != '\0') {
            problem(member_path(parameter.where, "literal"),
                    in_quotes(parameter.text) + " is not " +
                        (whole ? "a whole number" : "a number") + ", as a " + in_quotes(type) +
                        " literal needs");
        } else if (const char *range = outside_range(type, value)) {
            problem(member_path(parameter.where, "literal"),
                    in_quotes(parameter.text) + " is outside the range of " + in_quotes(type) +
                        " (" + range + ")");
        }
    }

    // File names resolve against the scene's directory. The library keeps a file name in a
    // 79-character text, so it is handed the shorter of the path relative to the working
    // directory and the absolute path.
    void read_file_name(const std::string &name, ParameterPlan &parameter) {
        const std::string where = member_path(parameter.where, "file");
        parameter.valueType = "string";
        if (name.empty()) {
            problem(where, "must not be empty");
            return;
        }
        std::filesystem::path path = name;
        if (path.is_relative()) path = scene_.file.parent_path() / path;
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            // With "/" between its parts on every platform, as the scene names its files.
            problem(where, "no data file " + in_quotes(path.lexically_normal().generic_string()));
            return;
        }
        parameter.file = std::filesystem::absolute(path, error).lexically_normal();
        std::string shortest = parameter.file.string();
        const std::filesystem::path relative =
            parameter.file.lexically_proximate(std::filesystem::current_path(error));
        if (!error && relative.string().size() < shortest.size()) shortest = relative.string();
        if (shortest.size() > kMaxFileNameLength) {
            problem(where, "the file name " + in_quotes(shortest) + " is longer than " +
                               std::to_string(kMaxFileNameLength) +
                               " characters; run from nearer the scene");
            return;
        }
        parameter.text = shortest;
    }

    // Equation names are unique across the scene, every reference names an equation, and no
    // equation reads itself through references.
    void check_references() {
        std::map<std::string, const EquationPlan *> byName;
        for (const auto &database : scene_.databases) {
            for (const EquationPlan &equation : database->equations) {
                if (equation.name.empty()) continue;  // already reported
                auto [at, inserted] = byName.emplace(equation.name, &equation);
                if (!inserted) {
                    problem(member_path(equation.where, "name"),
                            "another equation is named " + in_quotes(equation.name) + " (at " +
                                at->second->where + "); references would find only the first");
                }
            }
        }
        for (const auto &database : scene_.databases) {
            for (const EquationPlan &equation : database->equations) {
                for (const ParameterPlan &parameter : equation.parameters) {
                    if (parameter.kind == ParameterPlan::Kind::Equation &&
                        !parameter.text.empty() && byName.count(parameter.text) == 0) {
                        problem(member_path(parameter.where, "equation"),
                                "no equation is named " + in_quotes(parameter.text));
                    }
                }
            }
        }
        report_cycles();
    }

    void report_cycles() {
        for (const ReferenceCycle &cycle : find_reference_cycles(scene_)) {
            std::string text;
            for (const EquationPlan *step : cycle.path) {
                text += (text.empty() ? "" : " -> ") + in_quotes(step->name);
            }
            problem(cycle.closing->where, "equations read each other in a cycle: " + text +
                                              " (a read that comes back to an equation being "
                                              "evaluated reads as no value)");
        }
    }

    void read_watches(const Json &root) {
        auto watches = root.find("watch");
        if (watches == root.end()) {
            watch_driven_attributes();
            return;
        }
        if (!watches->is_array()) {
            problem("watch",
                    "must be a list of \"database/node.attribute\" texts and "
                    "{\"name\": ..., \"database\": ...} objects");
            return;
        }
        for (std::size_t i = 0; i < watches->size(); ++i) {
            read_watch((*watches)[i], "watch[" + std::to_string(i) + "]");
        }
    }

    void read_watch(const Json &value, const std::string &where) {
        Watch watch;
        watch.where = where;
        if (value.is_string()) {
            const std::string reference = value.get<std::string>();
            const std::size_t slash = reference.find('/');
            const Database *database =
                slash == std::string::npos
                    ? (scene_.databases.size() == 1 ? scene_.databases.front().get() : nullptr)
                    : scene_.find_database(reference.substr(0, slash));
            Attribute *attribute =
                database != nullptr ? scene_.resolve_attribute(reference, *database) : nullptr;
            if (attribute == nullptr) {
                problem(where, "no attribute " + in_quotes(reference) +
                                   " (write \"database/node.attribute\")");
                return;
            }
            watch.database = database->name;
            watch.name = attribute->path();
            watch.label = database->name + "/" + attribute->path();
            watch.attribute = attribute;
        } else if (value.is_object()) {
            allow_keys(value, where, {"name", "database", "label"});
            auto valueName = text(value, "name", where, true);
            if (!valueName) return;
            watch.kind = Watch::Kind::ValueByName;
            watch.name = *valueName;
            watch.label = *valueName;
            if (auto database = text(value, "database", where, false)) {
                if (scene_.find_database(*database) == nullptr) {
                    problem(member_path(where, "database"), "no database " + in_quotes(*database));
                    return;
                }
                watch.database = *database;
                watch.label = *database + ":" + *valueName;
            }
            if (auto label = text(value, "label", where, false)) watch.label = *label;
        } else {
            problem(where,
                    "a watched column is \"database/node.attribute\" or {\"name\": ..., "
                    "\"database\": ...}, not " +
                        json_kind(value));
            return;
        }
        scene_.watches.push_back(std::move(watch));
    }

    // The names a watch can read through the library in `database`: every result's name and
    // every variable's (attributes by their path, application variables by theirs).
    std::set<std::string> readable_names(const Database &database) const {
        std::set<std::string> names;
        for (const EquationPlan &equation : database.equations) {
            if (!equation.result.name.empty()) names.insert(equation.result.name);
            for (const ParameterPlan &parameter : equation.parameters) {
                if (parameter.kind == ParameterPlan::Kind::Attribute ||
                    parameter.kind == ParameterPlan::Kind::AppVariable) {
                    names.insert(parameter.text);
                }
            }
        }
        return names;
    }

    // A watch of a name nothing bears would read 0 on every frame.
    void check_watched_names() {
        for (std::size_t i = 0; i < scene_.watches.size(); ++i) {
            const Watch &watch = scene_.watches[i];
            if (watch.kind != Watch::Kind::ValueByName) continue;
            std::set<std::string> names;
            for (const auto &database : scene_.databases) {
                if (!watch.database.empty() && database->name != watch.database) continue;
                names.merge(readable_names(*database));
            }
            if (names.count(watch.name) != 0) continue;
            std::string nearest;
            std::size_t best = std::max<std::size_t>(2, watch.name.size() / 3) + 1;
            for (const std::string &name : names) {
                const std::size_t distance = edit_distance(watch.name, name);
                if (distance < best) {
                    best = distance;
                    nearest = name;
                }
            }
            problem(watch.where + ".name",
                    "no result or variable is named " + in_quotes(watch.name) +
                        (watch.database.empty() ? "" : " in " + in_quotes(watch.database)) +
                        (nearest.empty() ? "" : " (did you mean " + in_quotes(nearest) + "?)"));
        }
    }

    // An equation whose result drives no attribute, is watched by no column and read by no
    // other equation runs unseen: the scene may mean it, but it is worth a word.
    void warn_unreached_equations() {
        std::set<std::string> referenced;
        for (const auto &database : scene_.databases) {
            for (const EquationPlan &equation : database->equations) {
                for (const ParameterPlan &parameter : equation.parameters) {
                    if (parameter.kind == ParameterPlan::Kind::Equation) {
                        referenced.insert(parameter.text);
                    }
                }
            }
        }
        for (const auto &database : scene_.databases) {
            for (const EquationPlan &equation : database->equations) {
                if (equation.result.drives || referenced.count(equation.name) != 0) continue;
                const bool watched = std::any_of(
                    scene_.watches.begin(), scene_.watches.end(), [&](const Watch &watch) {
                        return watch.kind == Watch::Kind::ValueByName &&
                               !equation.result.name.empty() &&
                               watch.name == equation.result.name &&
                               (watch.database.empty() || watch.database == database->name);
                    });
                if (watched) continue;
                problems_.push_back({equation.where,
                                     "its result reaches nothing: it drives no attribute, no "
                                     "watch shows it and no equation reads it",
                                     true});
            }
        }
    }

    void watch_driven_attributes() {
        std::set<const Attribute *> seen;
        for (const auto &database : scene_.databases) {
            for (const EquationPlan &equation : database->equations) {
                if (!equation.result.drives) continue;
                Attribute *attribute = scene_.resolve_attribute(*equation.result.drives, *database);
                if (attribute == nullptr || !seen.insert(attribute).second) continue;
                Watch watch;
                for (const auto &owner : scene_.databases) {
                    if (owner->find_attribute(attribute->path()) == attribute) {
                        watch.database = owner->name;
                    }
                }
                watch.name = attribute->path();
                watch.label = watch.database + "/" + attribute->path();
                watch.attribute = attribute;
                scene_.watches.push_back(std::move(watch));
            }
        }
    }

    Scene &scene_;
    std::vector<Problem> &problems_;
};

// "[json.exception.parse_error.101] parse error at line 3, column 5: syntax error ..." keeps
// only what follows the position.
std::string parse_error_message(const std::string &what) {
    const std::size_t column = what.find("column ");
    if (column != std::string::npos) {
        const std::size_t colon = what.find(": ", column);
        if (colon != std::string::npos) return what.substr(colon + 2);
    }
    const std::size_t bracket = what.find("] ");
    return bracket != std::string::npos ? what.substr(bracket + 2) : what;
}

std::string position_of_byte(const std::string &text, std::size_t byte) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Finds where the parser stopped when the DOM parser's exception does not say (a number too
// large for a double): a second, event-driven pass reports the position.
struct StopFinder : nlohmann::json_sax<Json> {
    std::size_t byte = 0;
    bool found = false;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t &) override { return true; }
    bool string(string_t &) override { return true; }
    bool binary(binary_t &) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t &) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string &token,
                     const nlohmann::detail::exception &) override {
        byte = position >= token.size() ? position - token.size() : 0;  // where the token starts
        found = true;
        return false;
    }
};

}  // namespace

std::unique_ptr<Scene> parse_scene(const std::string &text, const std::filesystem::path &file,
                                   std::vector<Problem> &problems) {
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error &error) {
        // The byte is the one the parser stopped at, counted from 1.
        problems.push_back({position_of_byte(text, error.byte == 0 ? 0 : error.byte - 1),
                            "malformed JSON: " + parse_error_message(error.what())});
        return nullptr;
    } catch (const Json::exception &error) {
        StopFinder finder;
        Json::sax_parse(text, &finder);
        problems.push_back({finder.found ? position_of_byte(text, finder.byte) : "",
                            "malformed JSON: " + parse_error_message(error.what())});
        return nullptr;
    }
    auto scene = std::make_unique<Scene>();
    scene->file = file;
    SceneReader(*scene, problems).read(root);
    return scene;
}

std::unique_ptr<Scene> read_scene(const std::filesystem::path &file,
                                  std::vector<Problem> &problems) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        problems.push_back(
            {"", std::filesystem::exists(file, error) ? "is not a file" : "no such file"});
        return nullptr;
    }
    // C streams keep the system's reason for a failure in errno.
    errno = 0;
    std::FILE *in = std::fopen(file.string().c_str(), "rb");
    if (in == nullptr) {
        problems.push_back(
            {"", "cannot read the scene file: " + std::string(std::strerror(errno))});
        return nullptr;
    }
    std::string text;
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, count);
    const int reason = errno;
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        problems.push_back(
            {"", "cannot read the scene file: " + std::string(std::strerror(reason))});
        return nullptr;
    }
    return parse_scene(text, file, problems);
}

std::vector<ReferenceCycle> find_reference_cycles(const Scene &scene) {
    std::map<std::string, const EquationPlan *> byName;
    for (const auto &database : scene.databases) {
        for (const EquationPlan &equation : database->equations) {
            if (!equation.name.empty()) byName.emplace(equation.name, &equation);
        }
    }
    enum class Mark { Unvisited, OnPath, Done };
    std::map<const EquationPlan *, Mark> marks;
    std::vector<const EquationPlan *> path;
    std::vector<ReferenceCycle> cycles;
    std::function<void(const EquationPlan *)> visit = [&](const EquationPlan *equation) {
        marks[equation] = Mark::OnPath;
        path.push_back(equation);
        for (const ParameterPlan &parameter : equation->parameters) {
            if (parameter.kind != ParameterPlan::Kind::Equation) continue;
            auto target = byName.find(parameter.text);
            if (target == byName.end()) continue;
            const Mark mark = marks[target->second];
            if (mark == Mark::OnPath) {
                ReferenceCycle cycle;
                cycle.path.assign(std::find(path.begin(), path.end(), target->second), path.end());
                cycle.path.push_back(target->second);
                cycle.closing = &parameter;
                cycles.push_back(std::move(cycle));
            } else if (mark == Mark::Unvisited) {
                visit(target->second);
            }
        }
        path.pop_back();
        marks[equation] = Mark::Done;
    };
    for (const auto &database : scene.databases) {
        for (const EquationPlan &equation : database->equations) {
            if (marks[&equation] == Mark::Unvisited) visit(&equation);
        }
    }
    return cycles;
}

}  // namespace eqm
