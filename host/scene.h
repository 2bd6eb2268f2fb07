// A scene as the host reads it from JSON: databases with named nodes and numeric attributes,
// the equations of each database, and what the run shows. Reading a scene checks everything
// that can be checked without the library; `check_against_library` (session.h) does the rest.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace eqm {

// One problem found in a scene, with where it lies ("databases[0](house).equations[1](Door
// Swing).operator", or "line 4, column 7" for malformed JSON).
// A warning is something a scene may mean (an equation whose result reaches nothing): it is
// reported, but the scene still plays.
struct Problem {
    std::string where;
    std::string message;
    bool warning = false;
};

// The edit distance between two names, ignoring case: what "did you mean" measures.
std::size_t edit_distance(const std::string &a, const std::string &b);

// Whether any of the problems is more than a warning.
bool has_errors(const std::vector<Problem> &problems);

// The host memory of one numeric attribute, held in its value type so that a variable bound
// to it reads it in place.
union alignas(8) AttributeStorage {
    double d;
    float f;
    int32_t i;
    int16_t s;
    int8_t c;
    unsigned char bytes[8];
};

// Value types an attribute may be held in: the library's five numbers.
bool is_attribute_value_type(const std::string &valueType);

struct Attribute {
    std::string node;
    std::string name;       // the attribute's own name
    std::string valueType;  // "double", "float", "int", "short" or "char"
    double initial = 0.0;
    AttributeStorage storage{};

    std::string path() const { return node + "." + name; }  // "door.angle"
    double get() const;
    void set(double value);  // converted like the library converts to the value type
    void set_integer(int32_t value);
    bool is_integer() const { return valueType != "double" && valueType != "float"; }
};

struct ParameterPlan {
    enum class Kind { Literal, Attribute, AppVariable, Equation, File };
    Kind kind = Kind::Literal;
    std::string text;           // literal text, attribute path, app variable, equation or file name
    std::string valueType;      // literals: the value type ("double" when not given)
    std::string parameterType;  // attributes: the variable's parameter type
    std::string database;       // attributes: the database that holds it (own one by default)
    std::filesystem::path file;  // files: the name resolved against the scene's directory
    std::string where;
};

struct ResultPlan {
    std::string parameterType = "Temporary";
    std::string valueType = "double";
    std::string name;
    std::optional<std::string> initial;  // value text stored before the first run
    std::optional<std::string> drives;   // "node.attribute" of the same database
    std::string where;
};

struct EquationPlan {
    std::string name;
    std::string op;
    std::string trigger = "New Frame";
    ResultPlan result;
    std::vector<ParameterPlan> parameters;
    std::string where;
};

struct Database {
    std::string name;
    std::vector<std::unique_ptr<Attribute>> attributes;  // stable addresses: variables bind them
    std::vector<EquationPlan> equations;
    std::string where;

    Attribute *find_attribute(const std::string &path) const;
};

// A watched column of the run's table: an attribute read from host memory, or a value read
// by name through the library (`database` empty: every database).
struct Watch {
    enum class Kind { Attribute, ValueByName };
    Kind kind = Kind::Attribute;
    std::string database;
    std::string name;
    std::string label;
    std::string where;  // "watch[2]"
    Attribute *attribute = nullptr;
};

struct Scene {
    std::filesystem::path file;
    std::string title;
    int32_t frames = 10;
    double fps = 24.0;
    std::vector<std::unique_ptr<Database>> databases;
    std::vector<Watch> watches;

    Database *find_database(const std::string &name) const;
    // The attribute of "node.attribute" in `home`, or of "database/node.attribute" anywhere.
    Attribute *resolve_attribute(const std::string &reference, const Database &home) const;
};

// A cycle of equations reading each other through references: the equations along it in
// reading order, the first again at the end, and the parameter whose reference closes it.
struct ReferenceCycle {
    std::vector<const EquationPlan *> path;
    const ParameterPlan *closing = nullptr;
};

// Every such cycle, found by a depth-first walk over the databases in order; a name borne by
// several equations stands for the first.
std::vector<ReferenceCycle> find_reference_cycles(const Scene &scene);

// Reads and checks a scene file. Problems are appended to `problems`; the result is null when
// the file cannot be read or holds no JSON object, and is usable only when no problem was added.
std::unique_ptr<Scene> read_scene(const std::filesystem::path &file,
                                  std::vector<Problem> &problems);
// The same from text already in memory; `file` names it and anchors relative file names.
std::unique_ptr<Scene> parse_scene(const std::string &text, const std::filesystem::path &file,
                                   std::vector<Problem> &problems);

// The longest file name the library keeps in a text parameter.
constexpr std::size_t kMaxFileNameLength = 79;
// The longest equation, operator and trigger names the library keeps.
constexpr std::size_t kMaxNameLength = 79;

}  // namespace eqm
