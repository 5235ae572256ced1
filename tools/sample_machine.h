// The sample machine: what a newcomer's first boardkit command meets on Linux.
#pragma once

namespace tools {
// Fills the current (empty) machine with the sample's boards, records and files.
bool BuildSampleMachine();
}  // namespace tools
