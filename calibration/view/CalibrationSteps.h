#pragma once

#include <vector>

// The placements of a slope calibration as one table per procedure. Each row is the press of the
// wizard's button at one step: the reading that press stores, the instruction it shows next, the
// parts of the model that show that placement with the crank's angle, and the step that follows.
// Back walks the same rows the other way. A meter calibrated on one chainring takes four readings,
// two placements of the weight; all others six, the weight on either arm with the chain on either
// ring. Plain data with no window: the Calibrate page walks it and shows a row's instruction,
// and the view (CalibrationScene) takes the row's pose.
class CalibrationSteps
{
public:
    // Where a press puts the reading it takes.
    enum class Slot
    {
        None,
        FirstReference,
        R1,
        R2,
        R3,
        R4,
        FinalReference
    };

    // The parts of the model besides the crank, as bits of a set.
    enum Part
    {
        BigChain = 1,
        SmallChain = 2,
        BackArrow = 4,
        FrontArrow = 8
    };

    struct Step
    {
        int step;                // the step the press is made at
        Slot slot;               // what the press stores
        const char* instruction; // shown after the press; null for the final reading (the drift check)
        int parts;               // the parts shown after the press
        float crankAngle;        // the crank's angle after the press, radians: 0 or π
        int next;                // the step after the press
    };

    // The step of the final unloaded reading; its press checks the drift and stays at it.
    static constexpr int kFinalStep = 7;

    // A reading taken with the weight on an arm: its slot and the parts of the pose it was taken in,
    // which show the chainring (BigChain or SmallChain) and the arm (BackArrow for the left,
    // FrontArrow for the right).
    struct Loaded
    {
        Slot slot;
        int parts;
    };

    explicit CalibrationSteps(bool fourReadings);
    // The table of the procedure that takes `readings` readings, the unloaded ones included: 4, or
    // 6 for any other number.
    static CalibrationSteps forReadings(int readings);

    // The place of slots R1 to R4 among the four readings the wizard hands on (0 to 3); -1 for the
    // other slots.
    static int readingIndex(Slot slot);

    bool fourReadings() const { return four; }
    // The press at `step`, or null where the procedure makes none.
    const Step* at(int step) const;
    // The press that led to `step`, or null before the first.
    const Step* before(int step) const;
    // Back at `step`: the press whose instruction comes before the one shown, to be run again with
    // its pose; null when Back leaves the calibration.
    const Step* backTo(int step) const;
    // The slot of the first unloaded reading, which the final one is checked against.
    Slot initialReference() const { return four ? Slot::R2 : Slot::FirstReference; }
    const std::vector<Step>& rows() const { return table; }
    // The readings taken with the weight on, the left arm's before the right arm's and on each arm
    // the big chainring's before the small one's.
    std::vector<Loaded> loadedReadings() const;

private:
    bool four;
    std::vector<Step> table;
};
