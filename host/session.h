// The host's side of the library: starting it with the host's allocator pair, subscriber types
// and application variables; checking a scene against what the library registers; building a
// scene's databases into palettes, running frames and releasing everything again.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "module.h"
#include "output.h"
#include "scene.h"

namespace eqm {

// The started library. The library starts once per process, so there is at most one.
class Library {
public:
    // Starts the library with the counting allocator pair, registers the host's two subscriber
    // types and its application variables. Throws std::runtime_error when it cannot.
    explicit Library(const Api &api);
    // Stops the library.
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    const Api &api() const { return api_; }
    int32_t writer_type() const { return writerType_; }
    int32_t recorder_type() const { return recorderType_; }

    // Application variables, bound to this memory: "frame" (int), "time" and "fps" (double).
    int32_t frame = 0;
    double time = 0.0;
    double fps = 24.0;

private:
    void register_host_types();
    void stop();

    const Api &api_;
    int32_t writerType_ = -1;
    int32_t recorderType_ = -1;
};

// Adds the problems that only the library can tell: unknown operator, trigger, parameter type
// and value type names, parameter counts, unknown application variables.
void check_against_library(const Library &library, const Scene &scene,
                           std::vector<Problem> &problems);

struct RunOptions {
    std::optional<int32_t> frames;    // the scene's count when not given
    std::ostream *table = nullptr;    // the readable table, or none
    std::ostream *csv = nullptr;      // CSV, when asked for
    std::ostream *summary = nullptr;  // the notification counts (the table's stream when null)
    bool trace = false;               // every notification under its frame's row
    int32_t every = 1;                // rows for frame 0, every Nth frame and the last one
    // Called after every frame ran, with its number.
    std::function<void(int32_t frame)> afterFrame;
    // Called with every frame's row (not only the printed ones), after the frame ran.
    std::function<void(int32_t frame, double time, const std::vector<Cell> &cells)> onFrame;
    // Called once the last frame has run (or the run stopped), before the notification counts.
    std::function<void()> onEnd;
    // Checked after every frame: when it is set the run stops there, its rows whole.
    const volatile std::sig_atomic_t *stop = nullptr;
};

// One scene built into the library. Building registers one palette per database and makes
// every equation; destruction releases everything the host owns under the library's rules.
class Run {
public:
    // Throws std::runtime_error when the library cannot make what the scene asks for.
    Run(Library &library, Scene &scene);
    ~Run();
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    // Fires "Initialization" once, then "New Frame" once per frame, writing a row after each.
    // Returns the last frame played (less than the frame count when stopped).
    int32_t play(const RunOptions &options);

    // One equation the host made, found again by its database and slot index.
    struct EquationRecord {
        const EquationPlan *plan = nullptr;
        std::string label;  // "database/equation"
        Attribute *drives = nullptr;
        long notifications = 0;
    };
    EquationRecord *find_record(const Database *database, int32_t index);
    void note_notification(EquationRecord &record, const char *valueText);
    const Library &library() const { return library_; }

private:
    void build_database(Database &database);
    void build_equation(EquationPalette *palette, Database &database, const EquationPlan &plan);
    Parameter *replace_parameter(Equation *equation, int32_t position, const std::string &type);
    void build_parameter(Equation *equation, int32_t position, const ParameterPlan &plan);
    std::vector<Cell> sample() const;
    void close_playback_files();
    void release();

    Library &library_;
    Scene &scene_;
    // Databases whose palette is registered, in order, with the palette.
    std::vector<std::pair<Database *, EquationPalette *>> palettes_;
    std::map<std::pair<const Database *, int32_t>, EquationRecord> records_;
    bool trace_ = false;
    std::vector<std::string> traceLines_;
};

}  // namespace eqm
