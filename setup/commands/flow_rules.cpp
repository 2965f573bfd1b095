#include "flow_rules.h"

#include <climits>

CursorMove MoveCommandCursor(bool back, int cursor, int step) {
    if (step <= 0) return {cursor, false};
    if (back) return step > cursor ? CursorMove{cursor, true} : CursorMove{cursor - step - 1, false};
    return cursor > INT_MAX - 1 - step ? CursorMove{cursor, true} : CursorMove{cursor + step, false};
}
