// Asking the Configuration Manager whether another device already claims an I/O range, an IRQ
// or a DMA channel that the legacy node under construction would take. The three exported
// checks (IsaResCheckBaseAddrConflict, IsaResCheckIrqConflict, IsaResCheckDmaConflict) are
// declared in boardkit/operations.h.
#pragma once
#include <cstdint>

#include "catalog/results.h"
