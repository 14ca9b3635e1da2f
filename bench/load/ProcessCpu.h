#pragma once

#include <sys/types.h>

// Processor time (user plus system, in seconds) as /proc tells it; 0 for a
// process that is gone.
double ProcessCpuSeconds(pid_t pid);
// The same for a process and every process below it: PostgreSQL runs each
// connection in a child of its first process.
double ProcessTreeCpuSeconds(pid_t pid);
