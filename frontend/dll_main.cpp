// boardkit.dll carries the operations only; it needs no start-up code of its own beyond the
// run-time's, so this file holds no entry point.
