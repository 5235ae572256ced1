// The presence queries: is a board present, present and working, present with a problem, and
// is its user-mode library in use. The exported ones are declared in boardkit/operations.h.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

// Visits every node of the device tree below the root in pre-order (the root itself is never
// visited); the visitor returns true to end the walk at once. False when the root cannot be
// located, so nothing was visited.
bool WalkDeviceTree(const std::function<bool(DEVINST node)>& visit);

// The node's problem number as "0x%08X" ("0x00000000" for a working node), or "Unknown" when
// its status cannot be read.
std::string DevNodeProblemText(DEVINST node);

// The first string of the node's hardware-ID list, or "Unknown" when it cannot be read.
std::string DevNodeFirstHardwareId(DEVINST node);

// Rebuilds the problem list: the first hardware ID (or "Unknown") of every node whose problem
// text is not "0x00000000", in walk order, duplicates kept. False when the tree could not be
// walked (the list is then empty).
bool CollectProblemHardwareIds();

// The list the last problem-node walk built; it lives for the whole process.
const std::vector<std::string>& ProblemHardwareIds();

// Hands the caller the hardware IDs of the problem nodes: `list` is replaced by a fresh walk's
// list. True when the tree could be walked, so an empty list then means "no problem node".
// A list of strings does not cross a C interface, so this one is not exported.
bool GetProblemHWID(std::vector<std::string>& list);
