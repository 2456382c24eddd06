// Initialisation of the host layer: the first thing the program does.
#pragma once

// Sets up the signal manager, the exit-handler table and the clocks; unblocks
// every signal; raises the soft limits of CPU time, data size and file size to
// their hard limits (a failing limit call stops the process with a report);
// disables floating-point traps; takes the locale from the environment (but
// keeps numbers in the C form, which the archive depends on); ignores SIGPOLL.
// A second call does nothing.
void HostInit();
