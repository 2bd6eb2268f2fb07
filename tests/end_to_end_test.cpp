// A host from start to stop: two databases whose equations refer to each other, evaluated
// frame after frame, with every result pushed into the host's scene by subscribers.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "test_host.h"

namespace {

// The host's side: its databases, the frame counter its equations read, and what its scene
// hears.
struct Database {
    const char *name;
};

Database car{"Car"};
Database road{"Road"};
int32_t frameCounter = 0;
std::vector<std::string> scene;
std::deque<std::string> labels;  // the subscribers' user data, at stable addresses
int released = 0;

void push_into_scene(Variable *result, void *userData) {
    char line[96];
    std::snprintf(line, sizeof line, "%s=%g", static_cast<const std::string *>(userData)->c_str(),
                  KVAP_GetDouble(reinterpret_cast<Parameter *>(result)));
    scene.push_back(line);
}

// The scene node type wants to hear of every equation of every database.
int32_t sceneNodeType = -1;
void watch_every_equation(Equation *equation, void *paletteUserData) {
    labels.push_back(std::string(static_cast<Database *>(paletteUserData)->name) + "/" +
                     KVAEQ_GetName(equation));
    KVAEQ_RegisterSubscriber(equation, sceneNodeType, nullptr, &labels.back());
}

void release_scene_node(void *) { ++released; }

// Makes an equation of the operator and trigger, named, with its operand list sized.
Equation *define(EquationPalette *palette, const char *name, const char *op,
                 const char *trigger = "New Frame") {
    int32_t index = -1;
    Equation *equation = KVAEP_NewEquation(palette, &index);
    KVAEQ_SetName(equation, name);
    KVAEQ_SetOperatorName(equation, op);
    KVAEQ_SetTriggerName(equation, trigger);
    KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(equation)));
    return equation;
}

// Turns the operand at the position into a reference to the named equation.
void refer_to(Equation *equation, int32_t position, const char *name) {
    KVAP_Delete(KVAEQ_GetParameterN(equation, position));
    KVAP_SetString(KVAEQ_NewParameterN(equation, position, KVAP_IDOfName("Equation")), name, 0);
}

std::vector<std::string> frame_log(int frame) {
    const auto n = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", value);
        return std::string(text);
    };
    const std::string f = n(frame), speed = n(frame + 10.0), distance = n(2.0 * (frame + 10.0));
    return {// Car, by index: Speed reads Road's Frame on the spot.
            "Road/Frame=" + f, "Car/Speed=" + speed,
            // Distance reads Speed, which reads Frame again.
            "Road/Frame=" + f, "Car/Speed=" + speed, "Car/Distance=" + distance,
            // Road, by index: Frame on its own trigger, then Echo, which reads back into Car.
            "Road/Frame=" + f, "Road/Frame=" + f, "Car/Speed=" + speed, "Car/Distance=" + distance,
            "Road/Echo=" + distance};
}

TEST(EndToEnd, AHostEvaluatesTwoDatabasesFrameAfterFrame) {
    testhost::start_library();
    sceneNodeType = KVAS_RegisterSubscriberType("Scene Node", release_scene_node, push_into_scene,
                                                watch_every_equation);
    const size_t baseline = testhost::counts().live.size();

    EquationPalette *carPalette = KVAEQM_NewEquationPalette(&car);
    EquationPalette *roadPalette = KVAEQM_NewEquationPalette(&road);
    ASSERT_NE(carPalette, nullptr);
    ASSERT_NE(roadPalette, nullptr);

    // Car: Speed = Frame + 10; Distance = Speed * 2; a start-up equation that frames never run.
    Equation *speed = define(carPalette, "Speed", "+");
    refer_to(speed, 0, "Frame");  // not made yet: resolved when first read
    KVAP_SetDouble(KVAEQ_GetParameterN(speed, 1), 10.0);
    Equation *distance = define(carPalette, "Distance", "*");
    refer_to(distance, 0, "Speed");
    KVAP_SetDouble(KVAEQ_GetParameterN(distance, 1), 2.0);
    Equation *setup = define(carPalette, "Setup", "Move Value", "Initialization");
    KVAP_SetDouble(KVAEQ_GetParameterN(setup, 0), 42.0);

    // Road: Frame moves the host's frame counter in; Echo reads Car's Distance back.
    Equation *frame = define(roadPalette, "Frame", "Move Value");
    KVAP_Delete(KVAEQ_GetParameterN(frame, 0));
    Parameter *counter = KVAEQ_NewParameterN(frame, 0, KVAP_IDOfName("Temporary"));
    KVAP_SetDataTypeName(counter, "int");
    KVAP_SetVariableAddress(reinterpret_cast<Variable *>(counter), &frameCounter);
    Equation *echo = define(roadPalette, "Echo", "abs");
    refer_to(echo, 0, "Distance");

    KVAEQM_RefreshAllSubscribers();
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(labels.front(), "Car/Speed");
    EXPECT_EQ(labels.back(), "Road/Echo");

    for (int f = 1; f <= 3; ++f) {
        frameCounter = f;
        scene.clear();
        KVAEQM_EvaluateTriggerName("New Frame");
        EXPECT_EQ(scene, frame_log(f)) << "frame " << f;
    }

    scene.clear();
    KVAEQM_Evaluate(KVAT_IDOfName("Initialization"));
    EXPECT_EQ(scene, (std::vector<std::string>{"Car/Setup=42"}));

    // A frame allocates nothing once the databases are built.
    const long allocations = testhost::counts().allocations;
    frameCounter = 7;
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    EXPECT_EQ(testhost::counts().allocations, allocations);

    // Closing the databases releases everything their equations held.
    KVAEQM_DeleteEquationPalette(&car);
    KVAEQM_DeleteEquationPalette(&road);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
    EXPECT_EQ(released, 5);
    EXPECT_EQ(testhost::counts().live.size(), baseline);
    KVAEQM_Exit();
    EXPECT_TRUE(testhost::counts().live.empty());
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

}  // namespace
