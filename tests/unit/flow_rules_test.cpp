#include <gtest/gtest.h>

#include <climits>

#include "commands/flow_rules.h"

namespace {

// 6 and 7 move the cursor the loop then advances past; a move that would leave
// the numbers is refused and the cursor stays.
TEST(FlowRules, SixAndSevenMoveTheCursorWithinTheNumbers) {
    struct Row {
        bool back;
        int cursor, step, moved;
        bool refused;
    };
    const Row rows[] = {
        {true, 5, 1, 3, false},  {true, 5, 5, -1, false}, {true, 5, 6, 5, true},  {true, 0, 1, 0, true},
        {true, 3, 0, 3, false},  {true, 3, -2, 3, false}, {false, 3, 2, 5, false}, {false, 3, -1, 3, false},
        {false, INT_MAX - 3, 2, INT_MAX - 1, false},       {false, INT_MAX - 3, 3, INT_MAX - 3, true},
    };
    for (const Row &row : rows) {
        const CursorMove move = MoveCommandCursor(row.back, row.cursor, row.step);
        EXPECT_EQ(row.moved, move.cursor) << row.back << " " << row.cursor << " " << row.step;
        EXPECT_EQ(row.refused, move.refused) << row.back << " " << row.cursor << " " << row.step;
    }
}

}  // namespace
