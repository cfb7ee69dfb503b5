#pragma once
// The process groups of the running console children, kept where a signal
// handler can reach them: a program that has to end at once (a second
// Ctrl-C) takes its downloaders and converters with it instead of leaving
// them running without a reader.

#include <sys/types.h>

namespace quillmarsh::ChildGroups {

// A group is added once its leader has started and removed before the
// leader is reaped, so that a freed PID is never signalled.
void Add(pid_t group);
void Remove(pid_t group);

// Sends SIGKILL to every group. Async-signal-safe.
void KillAll();

}  // namespace quillmarsh::ChildGroups
