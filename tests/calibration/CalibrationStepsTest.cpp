// The wizard's table of placements on its own, with no page or window: the order the presses come
// in, where Back goes, and what each press changes in the model.
#include "calibration/view/CalibrationSteps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Slot = CalibrationSteps::Slot;

constexpr float kPi = 3.14159265358979f;

TEST(CalibrationStepsTest, ThePressesComeInTheirOrderAndBackGoesToThePlacementBeforeTheOneShown)
{
    struct Case
    {
        const char* name;
        bool four;
        std::vector<int> presses;
        std::vector<Slot> slots;
        // Back at each step: the press run again, -1 when Back leaves.
        std::vector<std::pair<int, int>> back;
    };
    const Case cases[] = {
        {"six readings",
         false,
         {0, 1, 2, 3, 4, 5, 6, 7},
         {Slot::None, Slot::None, Slot::FirstReference, Slot::R1, Slot::R2, Slot::R3, Slot::R4, Slot::FinalReference},
         {{0, -1}, {1, -1}, {2, 0}, {3, 1}, {4, 2}, {5, 3}, {6, 4}, {7, 5}}},
        {"four readings",
         true,
         {0, 1, 2, 5, 6, 7},
         {Slot::None, Slot::None, Slot::R2, Slot::R3, Slot::R4, Slot::FinalReference},
         {{0, -1}, {1, -1}, {2, 0}, {5, 1}, {6, 2}, {7, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CalibrationSteps steps(c.four);
        std::vector<int> presses;
        std::vector<Slot> slots;
        for (int step = 0; presses.size() < 20;) {
            const CalibrationSteps::Step* row = steps.at(step);
            ASSERT_NE(row, nullptr) << step;
            presses.push_back(step);
            slots.push_back(row->slot);
            if (row->next == step) {
                break;
            }
            step = row->next;
        }
        EXPECT_EQ(presses, c.presses);
        EXPECT_EQ(slots, c.slots);
        for (const auto& [at, again] : c.back) {
            const CalibrationSteps::Step* row = steps.backTo(at);
            EXPECT_EQ(row == nullptr ? -1 : row->step, again) << "Back at " << at;
        }
        // Only the final reading shows no instruction, and every other one tells the user what to do.
        for (const CalibrationSteps::Step& row : steps.rows()) {
            EXPECT_EQ(row.instruction == nullptr, row.step == CalibrationSteps::kFinalStep) << row.step;
        }
        EXPECT_EQ(steps.initialReference(), c.four ? Slot::R2 : Slot::FirstReference);
    }
}

TEST(CalibrationStepsTest, OnTheKV7TheWeightGoesOnTheLeftArmWithTheBigChainAlreadyShown)
{
    const CalibrationSteps four(true);
    const CalibrationSteps::Step* unloaded = four.at(1);
    const CalibrationSteps::Step* left = four.at(2);
    ASSERT_NE(unloaded, nullptr);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(unloaded->parts, CalibrationSteps::BigChain);
    // Only the back arrow comes: the chain stays as it is.
    EXPECT_EQ(left->parts ^ unloaded->parts, CalibrationSteps::BackArrow);
    EXPECT_FLOAT_EQ(left->crankAngle, kPi);
    EXPECT_EQ(std::string(left->instruction),
              "Place the weight on the Left crank arm.  Ensure the crank is level.  Then press the button.");
}

} // namespace
