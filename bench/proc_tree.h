#pragma once

// Small /proc readers shared by the benchmark programs: the processes a
// program started (WebKit's helpers included), their memory figures, and a
// way to end exactly those processes and no others.

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

// Every live descendant of pid (children, grandchildren, ...), zombies left out.
std::vector<pid_t> descendants(pid_t pid);

// The process's command name as the kernel keeps it (at most 15 characters).
std::string commandName(pid_t pid);

// A "VmHWM:" / "VmRSS:" style field of /proc/<pid>/status in KiB; -1 when absent.
long statusKiB(pid_t pid, const char* field);

// Resets the process's peak resident size to its current one (clear_refs 5),
// so a later VmHWM measures one stretch of work. False when the kernel refuses.
bool resetPeak(pid_t pid);

// The first descendant whose command name starts with prefix; 0 when none.
pid_t findDescendant(pid_t pid, const std::string& prefix);

// Sends SIGTERM to pid, waits for it (it must be our child), then gives the
// descendants collected before the signal a few seconds to go and kills the
// ones left, each by its own id.
void stopProcessTree(pid_t pid);

// Monotonic and wall-clock time in milliseconds.
double monotonicMs();
double epochMs();

} // namespace bench
