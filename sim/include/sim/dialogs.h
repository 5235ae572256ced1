// The simulated user in front of the machine's dialogs: the steps a dialog's user takes,
// kept in machine.json, and what the last dialog showed. For tests and boardkit-sim.
#pragma once
#include <string>
#include <vector>

#include "simwin/base.h"

namespace sim {

struct DialogStep {
    enum Kind { kSelect, kPress } kind = kPress;
    int control = 0;  // the list control (select) or the button (press)
    int index = 0;    // the entry to choose (select)
};

// The steps not yet taken, oldest first. A dialog takes them in order until one ends it.
std::vector<DialogStep> DialogScript();
void AddDialogStep(const DialogStep& step);
void ClearDialogScript();

// One line per step of the last dialog shown: what the user did and what the dialog then
// showed (each list's entries and selection, each button's enabled state).
std::vector<std::string> LastDialogView();

// "select 1000 3" or "press 1", as journal lines and boardkit-sim write a step.
std::string DescribeDialogStep(const DialogStep& step);

}  // namespace sim
