// Plain rules of the flow commands: where 6 and 7 move the command cursor. No I/O
// and no Windows headers, so the planner moves its cursor by the same rule.
#pragma once

struct CursorMove {
    int cursor;    // the cursor the loop then advances past
    bool refused;  // the move would leave the numbers: the cursor stays
};

// Command 6 (back) or 7 (forward) at cursor with the step width read from [DATA].
// A width of 0 or less moves nothing. 6 goes to step places before itself, the
// loop's advance included, so the earliest command it reaches is 0; 7 passes over
// step commands, never beyond the largest number.
CursorMove MoveCommandCursor(bool back, int cursor, int step);
