#include "calibration/view/CalibrationSteps.h"

#include <algorithm>

namespace {

constexpr float kPi = 3.14159265358979f;

const char* const kSixStart =
    "To calibrate you will need to place the weight and chain & chainrings in four separate combinations, and "
    "take a reading for each one.  A first and a sixth reading will also be taken without any weight.";
const char* const kFourStart =
    "To calibrate you will need to place the weight in two separate combinations, and take a reading for each "
    "one.  A first and a fourth reading will also be taken without any weight.";
const char* const kSixUnloaded = "Place the chain on the Largest chainring.  Ensure the crank is level, and there "
                                 "is no weight on the crank.  Then press the button.";
const char* const kFourUnloaded =
    " Ensure the crank is level, and there is no weight on the crank.  Then press the button.";
const char* const kSmallLeft = "Place the chain on the Smallest chainring and the weight on the Left crank arm.  "
                               "Ensure the crank is level.  Then press the button.";
const char* const kSmallRight = "Place the chain on the Smallest chainring and the weight on the Right crank arm.  "
                                "Ensure the crank is level.  Then press the button.";
const char* const kBigLeft = "Place the chain on the Largest chainring and the weight on the Left crank arm.  "
                             "Ensure the crank is level.  Then press the button.";
const char* const kBigRight = "Place the chain on the Largest chainring and the weight on the Right crank arm.  "
                              "Ensure the crank is level.  Then press the button.";
const char* const kLeft = "Place the weight on the Left crank arm.  Ensure the crank is level.  Then press the button.";
const char* const kRight =
    "Place the weight on the Right crank arm.  Ensure the crank is level.  Then press the button.";
const char* const kRemove = "Remove the weight.  Ensure the crank is level.  Then press the button.";

using Slot = CalibrationSteps::Slot;
constexpr int kBig = CalibrationSteps::BigChain;
constexpr int kSmall = CalibrationSteps::SmallChain;
constexpr int kBack = CalibrationSteps::BackArrow;
constexpr int kFront = CalibrationSteps::FrontArrow;

} // namespace

CalibrationSteps::CalibrationSteps(bool fourReadings) : four(fourReadings)
{
    if (four) {
        // The weight on the left arm follows the first unloaded reading at once: steps 3 and 4 are
        // the small ring's, which this procedure has not.
        table = {
            {0, Slot::None, kFourStart, 0, 0.0f, 1},
            {1, Slot::None, kFourUnloaded, kBig, 0.0f, 2},
            {2, Slot::R2, kLeft, kBig | kBack, kPi, 5},
            {5, Slot::R3, kRight, kBig | kFront, 0.0f, 6},
            {6, Slot::R4, kRemove, kBig, 0.0f, 7},
            {kFinalStep, Slot::FinalReference, nullptr, kBig, 0.0f, kFinalStep},
        };
    } else {
        table = {
            {0, Slot::None, kSixStart, 0, 0.0f, 1},
            {1, Slot::None, kSixUnloaded, kBig, 0.0f, 2},
            {2, Slot::FirstReference, kSmallLeft, kSmall | kBack, kPi, 3},
            {3, Slot::R1, kSmallRight, kSmall | kFront, 0.0f, 4},
            {4, Slot::R2, kBigLeft, kBig | kBack, kPi, 5},
            {5, Slot::R3, kBigRight, kBig | kFront, 0.0f, 6},
            {6, Slot::R4, kRemove, kBig, 0.0f, 7},
            {kFinalStep, Slot::FinalReference, nullptr, kBig, 0.0f, kFinalStep},
        };
    }
}

CalibrationSteps CalibrationSteps::forReadings(int readings)
{
    return CalibrationSteps(readings == 4);
}

int CalibrationSteps::readingIndex(Slot slot)
{
    switch (slot) {
    case Slot::R1:
        return 0;
    case Slot::R2:
        return 1;
    case Slot::R3:
        return 2;
    case Slot::R4:
        return 3;
    default:
        return -1;
    }
}

std::vector<CalibrationSteps::Loaded> CalibrationSteps::loadedReadings() const
{
    std::vector<Loaded> loaded;
    for (const Step& row : table) {
        // A press stores the reading of the pose the press before it showed.
        const Step* taken = before(row.step);
        if (row.slot != Slot::None && taken != nullptr && (taken->parts & (BackArrow | FrontArrow)) != 0) {
            loaded.push_back({row.slot, taken->parts});
        }
    }
    auto order = [](const Loaded& reading) {
        return ((reading.parts & BackArrow) != 0 ? 0 : 2) + ((reading.parts & BigChain) != 0 ? 0 : 1);
    };
    std::stable_sort(loaded.begin(), loaded.end(),
                     [&order](const Loaded& a, const Loaded& b) { return order(a) < order(b); });
    return loaded;
}

const CalibrationSteps::Step* CalibrationSteps::at(int step) const
{
    for (const Step& row : table) {
        if (row.step == step) {
            return &row;
        }
    }
    return nullptr;
}

const CalibrationSteps::Step* CalibrationSteps::before(int step) const
{
    for (const Step& row : table) {
        if (row.next == step && row.step != step) {
            return &row;
        }
    }
    return nullptr;
}

const CalibrationSteps::Step* CalibrationSteps::backTo(int step) const
{
    const Step* shown = before(step);
    return shown == nullptr ? nullptr : before(shown->step);
}
