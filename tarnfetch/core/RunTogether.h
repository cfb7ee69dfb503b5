#pragma once

#include <functional>
#include <vector>

namespace tarnfetch {

class StopFlag;

// Runs the jobs at the same time, each on a thread of its own, and returns
// once all have ended. The first job to throw raises `stop`, which the
// others watch so that they end soon; its exception is then thrown again,
// the later ones (those of the stopped jobs) dropped.
void RunTogether(const std::vector<std::function<void()>>& jobs, StopFlag& stop);

}  // namespace tarnfetch
