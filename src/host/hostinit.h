// Initialisation of the host layer.
#pragma once

// Initialises the signal manager, the exit-handler table and the clocks,
// unblocks all signals, raises the soft resource limits to the hard ones,
// disables floating-point traps, sets the locale from the environment and
// ignores the poll signal. A second call does nothing.
void HostInit();
