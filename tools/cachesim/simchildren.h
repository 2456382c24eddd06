// Lightweight child processes whose pids fill the process table: each one only
// waits for a signal, dies with the simulator (parent-death signal), and is
// reaped by the simulator as soon as it ends, so that a probe with signal 0 sees
// a killed child as gone at once.
#pragma once

#include <sys/types.h>

// Installs the SIGCHLD handler that reaps every ended child. Call once, before
// the first SimSpawnChild.
void SimInstallReaper();

// Forks one child that pauses until killed; returns its pid or -1 (errno set).
pid_t SimSpawnChild();

// Kills (SIGKILL) and reaps the given children; pids of 0 or below are skipped.
void SimKillChildren(const pid_t* pids, int count);
