// Starting the library, checking scenes against its registries, building a scene into
// palettes, playing frames, and releasing everything the host owns.
#include "session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "counting_allocator.h"
#include "operator_reads.h"

namespace eqm {

namespace {

// The callbacks the library calls carry no host pointer of their own beyond their user data,
// so they reach the host through these. The library starts once per process, so there is one.
const Api *activeApi = nullptr;
Library *activeLibrary = nullptr;
Run *activeRun = nullptr;

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }
Variable *as_variable(Parameter *parameter) { return reinterpret_cast<Variable *>(parameter); }

// Subscriber "scene writer": its user data is the attribute the equation drives; each new
// result is written into it. It owns nothing, so it has no destructor.
void write_result_into_scene(Variable *result, void *userData) {
    auto *attribute = static_cast<Attribute *>(userData);
    if (attribute->is_integer()) {
        attribute->set_integer(activeApi->KVAP_GetInteger(as_parameter(result)));
    } else {
        attribute->set(activeApi->KVAP_GetDouble(as_parameter(result)));
    }
}

void subscribe_scene_writer(Equation *equation, void *paletteUserData) {
    if (activeRun == nullptr) return;
    auto *record = activeRun->find_record(static_cast<const Database *>(paletteUserData),
                                          activeApi->KVAEQ_GetIndex(equation));
    if (record == nullptr || record->drives == nullptr) return;
    activeApi->KVAEQ_RegisterSubscriber(equation, activeLibrary->writer_type(), nullptr,
                                        record->drives);
}

// Subscriber "recorder": its user data is a listener the host allocates for each subscription
// and releases in the type's destructor.
struct Listener {
    Run::EquationRecord *record;
};

void record_notification(Variable *result, void *userData) {
    if (activeRun == nullptr) return;
    char *text = nullptr;
    activeApi->KVAP_GetString(as_parameter(result), &text, 1);
    activeRun->note_notification(*static_cast<Listener *>(userData)->record, text);
}

void release_listener(void *userData) { delete static_cast<Listener *>(userData); }

void subscribe_recorder(Equation *equation, void *paletteUserData) {
    if (activeRun == nullptr) return;
    auto *record = activeRun->find_record(static_cast<const Database *>(paletteUserData),
                                          activeApi->KVAEQ_GetIndex(equation));
    if (record == nullptr) return;
    auto *listener = new Listener{record};
    if (activeApi->KVAEQ_RegisterSubscriber(equation, activeLibrary->recorder_type(), nullptr,
                                            listener) < 0) {
        delete listener;  // the library could not make the subscriber
    }
}

std::string in_quotes(const std::string &text) { return "\"" + text + "\""; }

// " (did you mean "Clamp"?)" for the closest registered name, or nothing when none is close.
template <typename NameOf>
std::string suggestion(const std::string &name, int32_t from, int32_t count, NameOf nameOf) {
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, name.size() / 3) + 1;
    for (int32_t id = from; id < count; ++id) {
        const char *candidate = nameOf(id);
        if (candidate == nullptr || *candidate == '\0') continue;
        const std::size_t distance = edit_distance(name, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best.empty() ? "" : " (did you mean " + in_quotes(best) + "?)";
}

bool is_variable_type(const Api &api, int32_t typeId) {
    // Only variables may hold a result; the same flag tells the variable types apart from
    // literals and equation references.
    return typeId != 0 && api.KVAP_GetParameterTypeLValueEnabled(typeId) != 0;
}

// A bound variable is read in place: its memory is taken as the operator's kind of number
// without conversion, so it must be held in exactly that kind.
void check_bound_reads(const Api &api, const EquationPlan &equation,
                       std::vector<Problem> &problems) {
    for (std::size_t i = 0; i < equation.parameters.size(); ++i) {
        const ParameterPlan &parameter = equation.parameters[i];
        std::string valueType;
        if (parameter.kind == ParameterPlan::Kind::Attribute) {
            valueType = parameter.valueType;
        } else if (parameter.kind == ParameterPlan::Kind::AppVariable) {
            const char *type = nullptr;
            void *address = nullptr;
            api.KVAEQM_GetAppVariableByName(parameter.text.c_str(), &type, &address);
            if (type == nullptr) continue;
            valueType = type;
        } else {
            continue;
        }
        const Read read = operator_read(equation.op, i);
        const bool exact =
            (read == Read::Integer && valueType == "int") ||
            (read == Read::Double && valueType == "double") ||
            (read == Read::ByType && (valueType == "int" || valueType == "double")) ||
            read == Read::Unread || read == Read::Address;  // stores: see below
        if (exact) continue;
        const char *wanted = read == Read::Integer  ? " (hold it as \"int\")"
                             : read == Read::Double ? " (hold it as \"double\")"
                             : read == Read::ByType ? " (hold it as \"int\" or \"double\")"
                                                    : " (give a literal here)";
        problems.push_back(
            {parameter.where, in_quotes(equation.op) + " reads parameter " + std::to_string(i) +
                                  " as " + describe(read) + ", but " + in_quotes(parameter.text) +
                                  " is bound to memory held as " + in_quotes(valueType) +
                                  ", which is read in place without conversion" + wanted});
    }
}

}  // namespace

// Library ---------------------------------------------------------------------------------

Library::Library(const Api &api) : api_(api) {
    if (activeLibrary != nullptr) throw std::runtime_error("the library is already started");
    activeApi = &api_;
    activeLibrary = this;
    api_.KVAEQM_Init(counting_alloc, counting_free, this);
    try {
        register_host_types();
    } catch (...) {
        stop();
        throw;
    }
}

void Library::register_host_types() {
    if (api_.KVAOP_GetNumTypes() <= 1) {
        throw std::runtime_error("the library did not start (it starts only once per process)");
    }
    writerType_ = api_.KVAS_RegisterSubscriberType("Scene Writer", nullptr, write_result_into_scene,
                                                   subscribe_scene_writer);
    recorderType_ = api_.KVAS_RegisterSubscriberType("Recorder", release_listener,
                                                     record_notification, subscribe_recorder);
    if (writerType_ < 0 || recorderType_ < 0) {
        throw std::runtime_error("the library refused the host's subscriber types");
    }
    api_.KVAEQM_RegisterAppVariable("frame", "int", &frame);
    api_.KVAEQM_RegisterAppVariable("time", "double", &time);
    api_.KVAEQM_RegisterAppVariable("fps", "double", &fps);
}

Library::~Library() { stop(); }

void Library::stop() {
    api_.KVAEQM_Exit();
    activeLibrary = nullptr;
    activeApi = nullptr;
}

// Checks that need the library -------------------------------------------------------------

void check_against_library(const Library &library, const Scene &scene,
                           std::vector<Problem> &problems) {
    const Api &api = library.api();
    auto problem = [&](const std::string &where, const std::string &message) {
        problems.push_back({where, message});
    };
    auto valueTypeKnown = [&](const std::string &where, const std::string &name) {
        if (name.empty() || api.KVAV_IDOfName(name.c_str()) != 0) return;
        problem(where, "unknown value type " + in_quotes(name) +
                           suggestion(name, 1, api.KVAV_GetNumTypes(), api.KVAV_NameOfID));
    };
    auto parameterType = [&](const std::string &where, const std::string &name) -> int32_t {
        const int32_t id = api.KVAP_IDOfName(name.c_str());
        if (id == 0) {
            problem(where, "unknown parameter type " + in_quotes(name) +
                               suggestion(name, 1, api.KVAP_GetNumTypes(), api.KVAP_NameOfID));
        } else if (!is_variable_type(api, id)) {
            problem(where, in_quotes(name) + " is not a variable type");
            return 0;
        }
        return id;
    };

    for (const auto &database : scene.databases) {
        for (const EquationPlan &equation : database->equations) {
            const std::string at = equation.where;
            if (!equation.op.empty()) {
                const int32_t op = api.KVAOP_IDOfName(equation.op.c_str());
                if (op == 0) {
                    problem(at + ".operator",
                            "unknown operator " + in_quotes(equation.op) +
                                suggestion(equation.op, 1, api.KVAOP_GetNumTypes(),
                                           api.KVAOP_NameOfID));
                } else if (const int32_t count = api.KVAOP_GetNumParameters(op);
                           static_cast<std::size_t>(count) != equation.parameters.size()) {
                    problem(at + ".parameters",
                            in_quotes(equation.op) + " takes " + std::to_string(count) +
                                (count == 1 ? " parameter, " : " parameters, ") +
                                std::to_string(equation.parameters.size()) + " given");
                }
            }
            if (api.KVAT_IDOfName(equation.trigger.c_str()) == 0 &&
                equation.trigger != "No Trigger") {
                problem(at + ".trigger", "unknown trigger " + in_quotes(equation.trigger) +
                                             suggestion(equation.trigger, 0, api.KVAT_GetNumTypes(),
                                                        api.KVAT_NameOfID));
            }
            parameterType(equation.result.where + ".type", equation.result.parameterType);
            valueTypeKnown(equation.result.where + ".valueType", equation.result.valueType);
            for (std::size_t i = 0; i < equation.parameters.size(); ++i) {
                const ParameterPlan &parameter = equation.parameters[i];
                switch (parameter.kind) {
                    case ParameterPlan::Kind::Literal:
                        valueTypeKnown(parameter.where + ".valueType", parameter.valueType);
                        break;
                    case ParameterPlan::Kind::Attribute:
                        parameterType(parameter.where + ".type", parameter.parameterType);
                        break;
                    case ParameterPlan::Kind::AppVariable: {
                        const char *type = nullptr;
                        void *address = nullptr;
                        api.KVAEQM_GetAppVariableByName(parameter.text.c_str(), &type, &address);
                        if (!parameter.text.empty() && address == nullptr) {
                            problem(parameter.where + ".app",
                                    "no application variable " + in_quotes(parameter.text) +
                                        " (the host has \"frame\", \"time\" and \"fps\")");
                        }
                        break;
                    }
                    case ParameterPlan::Kind::Equation:
                    case ParameterPlan::Kind::File:
                        break;
                }
            }
            check_bound_reads(api, equation, problems);
            // "AsciiFile" keeps its open file in parameter 3. A variable would read its bound
            // memory back instead of the handle stored in it, and "float4", "float4x4" and
            // "string" values do not keep an address.
            if (equation.op == "AsciiFile" && equation.parameters.size() == 4) {
                const ParameterPlan &store = equation.parameters[3];
                static const std::string keepers[] = {"char",  "short",  "int",
                                                      "float", "double", "address"};
                if (store.kind != ParameterPlan::Kind::Literal ||
                    std::find(std::begin(keepers), std::end(keepers), store.valueType) ==
                        std::end(keepers)) {
                    problem(store.where,
                            "\"AsciiFile\" keeps its open file here: give it a number or "
                            "{\"literal\": 0, \"valueType\": \"address\"}");
                }
            }
        }
    }
}

// Building -----------------------------------------------------------------------------------

Run::Run(Library &library, Scene &scene) : library_(library), scene_(scene) {
    if (activeRun != nullptr) throw std::runtime_error("a scene is already built");
    activeRun = this;
    try {
        for (auto &database : scene_.databases) build_database(*database);
        // Every equation exists: let the subscriber types' interest callbacks subscribe.
        library_.api().KVAEQM_RefreshAllSubscribers();
    } catch (...) {
        release();
        activeRun = nullptr;
        throw;
    }
}

Run::~Run() {
    release();
    activeRun = nullptr;
}

Run::EquationRecord *Run::find_record(const Database *database, int32_t index) {
    auto found = records_.find({database, index});
    return found != records_.end() ? &found->second : nullptr;
}

void Run::note_notification(EquationRecord &record, const char *valueText) {
    ++record.notifications;
    if (trace_) {
        traceLines_.push_back("        " + record.label + " = " +
                              (valueText != nullptr ? valueText : "(no value)"));
    }
}

void Run::build_database(Database &database) {
    const Api &api = library_.api();
    // The palette's user data is the host's database: the library finds the palette by it and
    // hands it back to the interest callbacks.
    EquationPalette *palette = api.KVAEQM_NewEquationPalette(&database);
    if (palette == nullptr) {
        throw std::runtime_error("the library could not make a palette for " + database.name);
    }
    palettes_.emplace_back(&database, palette);
    for (const EquationPlan &plan : database.equations) build_equation(palette, database, plan);
}

void Run::build_equation(EquationPalette *palette, Database &database, const EquationPlan &plan) {
    const Api &api = library_.api();
    int32_t index = -1;  // the lowest free slot
    Equation *equation = api.KVAEP_NewEquation(palette, &index);
    if (equation == nullptr) {
        throw std::runtime_error("the library could not make the equation " + plan.name);
    }
    EquationRecord &record = records_[{&database, index}];
    record.plan = &plan;
    record.label = database.name + "/" + plan.name;
    if (plan.result.drives) {
        record.drives = scene_.resolve_attribute(*plan.result.drives, database);
    }

    api.KVAEQ_SetName(equation, plan.name.c_str());
    api.KVAEQ_SetOperatorName(equation, plan.op.c_str());
    api.KVAEQ_SetTriggerName(equation, plan.trigger.c_str());

    api.KVAEP_SetLVariableTypeName(palette, equation, plan.result.parameterType.c_str());
    Variable *result = api.KVAEQ_GetVariable(equation);
    if (result == nullptr) {
        throw std::runtime_error("the library could not make the result of " + plan.name);
    }
    api.KVAP_SetDataTypeName(as_parameter(result), plan.result.valueType.c_str());
    api.KVAP_SetVariableName(result, plan.result.name.c_str());
    if (plan.result.initial) {
        api.KVAP_SetString(as_parameter(result), plan.result.initial->c_str(), 1);
    }

    // New positions are filled with literals; other kinds replace them.
    const auto count = static_cast<int32_t>(plan.parameters.size());
    api.KVAEQ_SetNumParameters(equation, count);
    if (api.KVAEQ_GetNumParameters(equation) != count) {
        throw std::runtime_error("the library could not make the parameters of " + plan.name);
    }
    for (int32_t i = 0; i < count; ++i) {
        build_parameter(equation, i, plan.parameters[static_cast<std::size_t>(i)]);
    }
}

Parameter *Run::replace_parameter(Equation *equation, int32_t position, const std::string &type) {
    const Api &api = library_.api();
    Parameter *old = api.KVAEQ_GetParameterN(equation, position);
    // The equation does not release the parameter a new one replaces: the host does.
    Parameter *made = api.KVAEQ_NewParameterN(equation, position, api.KVAP_IDOfName(type.c_str()));
    api.KVAP_Delete(old);
    if (made == nullptr) throw std::runtime_error("the library could not make a " + type);
    return made;
}

void Run::build_parameter(Equation *equation, int32_t position, const ParameterPlan &plan) {
    const Api &api = library_.api();
    switch (plan.kind) {
        case ParameterPlan::Kind::Literal:
        case ParameterPlan::Kind::File: {
            Parameter *literal = api.KVAEQ_GetParameterN(equation, position);
            if (literal == nullptr || literal->typeId != api.KVAP_IDOfName("Literal")) {
                literal = replace_parameter(equation, position, "Literal");
            }
            api.KVAP_SetDataTypeName(literal, plan.valueType.c_str());
            api.KVAP_SetString(literal, plan.text.c_str(), 1);
            break;
        }
        case ParameterPlan::Kind::Attribute: {
            const Database *owner = scene_.find_database(plan.database);
            Attribute *attribute = owner != nullptr ? owner->find_attribute(plan.text) : nullptr;
            if (attribute == nullptr) throw std::runtime_error("no attribute " + plan.text);
            Parameter *variable = replace_parameter(equation, position, plan.parameterType);
            api.KVAP_SetDataTypeName(variable, attribute->valueType.c_str());
            api.KVAP_SetVariableName(as_variable(variable), plan.text.c_str());
            // Bound: every read of the variable reads the attribute's memory in place.
            api.KVAP_SetVariableAddress(as_variable(variable), &attribute->storage);
            break;
        }
        case ParameterPlan::Kind::AppVariable: {
            const char *type = nullptr;
            void *address = nullptr;
            api.KVAEQM_GetAppVariableByName(plan.text.c_str(), &type, &address);
            if (address == nullptr)
                throw std::runtime_error("no application variable " + plan.text);
            const std::string valueType = type;  // the record may move when variables are added
            Parameter *variable = replace_parameter(equation, position, "App Variable");
            api.KVAP_SetDataTypeName(variable, valueType.c_str());
            api.KVAP_SetVariableName(as_variable(variable), plan.text.c_str());
            api.KVAP_SetVariableAddress(as_variable(variable), address);
            break;
        }
        case ParameterPlan::Kind::Equation: {
            Parameter *reference = replace_parameter(equation, position, "Equation");
            // Resolved by name on first read, once every equation exists.
            api.KVAP_SetEquationReferenceName(reference, plan.text.c_str());
            break;
        }
    }
}

// Playing ----------------------------------------------------------------------------------

std::vector<Cell> Run::sample() const {
    std::vector<Cell> cells;
    const Api &api = library_.api();
    for (const Watch &watch : scene_.watches) {
        if (watch.kind == Watch::Kind::Attribute) {
            cells.push_back({watch.attribute->get(), watch.attribute->is_integer()});
        } else {
            // Read by name through the library: the first variable or parameter of that name.
            void *database =
                watch.database.empty() ? nullptr : scene_.find_database(watch.database);
            cells.push_back({api.KVAEQM_GetValueDouble(database, watch.name.c_str()), false});
        }
    }
    return cells;
}

int32_t Run::play(const RunOptions &options) {
    const Api &api = library_.api();
    const int32_t frames = options.frames.value_or(scene_.frames);
    const int32_t every = std::max<int32_t>(1, options.every);
    trace_ = options.trace && options.table != nullptr;
    std::vector<std::string> labels;
    for (const Watch &watch : scene_.watches) labels.push_back(watch.label);
    std::optional<TableWriter> table;
    if (options.table != nullptr)
        table.emplace(*options.table, labels, frames, frames / scene_.fps);
    std::optional<CsvWriter> csv;
    if (options.csv != nullptr) csv.emplace(*options.csv, labels);

    if (table) {
        if (!scene_.title.empty()) *options.table << scene_.title << "\n\n";
        table->header();
    }
    if (csv) csv->header();
    int32_t lastShown = -1;
    // `again`: the frame was reported already; only its row is written (a stopped run's last).
    auto emit = [&](int32_t frame, bool again) {
        if (options.afterFrame && !again) options.afterFrame(frame);
        const bool shown = frame % every == 0 || frame == frames || again;
        if (shown) lastShown = frame;
        if (!shown && !options.onFrame) {
            traceLines_.clear();
            return;
        }
        const std::vector<Cell> cells = sample();
        if (options.onFrame && !again) options.onFrame(frame, library_.time, cells);
        if (shown && table) table->row(frame, library_.time, cells);
        if (shown && csv) csv->row(frame, library_.time, cells);
        if (shown && table) {
            for (const std::string &line : traceLines_) *options.table << line << '\n';
        }
        traceLines_.clear();
    };

    library_.fps = scene_.fps;
    library_.frame = 0;
    library_.time = 0.0;
    api.KVAEQM_Evaluate(api.KVAT_IDOfName("Initialization"));
    emit(0, false);
    const int32_t newFrame = api.KVAT_IDOfName("New Frame");
    int32_t played = 0;
    for (int32_t frame = 1; frame <= frames; ++frame) {
        if (options.stop != nullptr && *options.stop != 0) break;
        library_.frame = frame;
        library_.time = frame / scene_.fps;
        api.KVAEQM_Evaluate(newFrame);
        emit(frame, false);
        played = frame;
    }
    // A stopped run still ends with the row of the last frame it played.
    if (played != lastShown) emit(played, true);

    if (options.onEnd) options.onEnd();
    std::ostream *summary = options.summary != nullptr ? options.summary : options.table;
    if (summary == nullptr) return played;
    *summary << (table && summary == options.table ? "\nnotifications\n" : "notifications\n");
    std::size_t width = 0;
    for (const auto &[key, record] : records_) width = std::max(width, record.label.size());
    for (const auto &[database, palette] : palettes_) {
        for (const auto &[key, record] : records_) {
            if (key.first != database) continue;
            char count[32];
            std::snprintf(count, sizeof count, "%8ld", record.notifications);
            *summary << "  " << record.label << std::string(width - record.label.size(), ' ')
                     << count << '\n';
        }
    }
    return played;
}

// Releasing --------------------------------------------------------------------------------

void Run::close_playback_files() {
    const Api &api = library_.api();
    for (const auto &[database, palette] : palettes_) {
        for (const auto &[key, record] : records_) {
            if (key.first != database || record.plan->op != "AsciiFile" ||
                record.plan->parameters.size() != 4) {
                continue;
            }
            // The library never closes a playback file left open. An "AsciiFile" equation
            // evaluated with its enable parameter 0 closes its file, so the host puts a literal 0
            // there and runs the equation once through a reference to it.
            Equation *equation = api.KVAEP_GetEquation(palette, key.second);
            Parameter *enable = api.KVAEQ_GetParameterN(equation, 0);
            Parameter *off = api.KVAEQ_NewParameterN(equation, 0, api.KVAP_IDOfName("Literal"));
            api.KVAP_Delete(enable);
            if (off == nullptr) continue;
            api.KVAP_SetString(off, "0", 1);
            if (Parameter *reference = api.KVAP_New(api.KVAP_IDOfName("Equation"))) {
                api.KVAP_SetEquationReferenceName(reference, record.plan->name.c_str());
                api.KVAP_GetDouble(reference);
                api.KVAP_Delete(reference);
            }
        }
    }
}

// Deleting an equation or a palette releases nothing the equation holds: its subscribers,
// their array, its parameters, their array and its result variable are the host's to release,
// each through the library's own function, before the equation goes.
void Run::release() {
    const Api &api = library_.api();
    close_playback_files();
    for (const auto &[database, palette] : palettes_) {
        for (int32_t index = 0; index < api.KVAEP_GetNumEquations(palette); ++index) {
            Equation *equation = api.KVAEP_GetEquation(palette, index);
            if (equation == nullptr) continue;
            api.KVAEQ_UnregisterAllSubscribers(equation);  // destructors run
            if (equation->subscribers != nullptr) {
                api.KVAMEM_Free(equation->subscribers);  // the array stays after unregistering
                equation->subscribers = nullptr;
                equation->subscriberCapacity = 0;
            }
            api.KVAEQ_SetNumParameters(equation, 0);  // deletes every parameter and the array
            api.KVAP_FreeVariable(api.KVAEQ_GetVariable(equation));
            equation->variable = nullptr;
            api.KVAEP_DeleteEquation(palette, equation);
        }
        api.KVAEQM_DeleteEquationPalette(database);
    }
    palettes_.clear();
    records_.clear();
}

}  // namespace eqm
