#pragma once
// Follow mode: the program stays connected to the directory and brings each
// Quorvel DL up to date as soon as the people its query selects change,
// through the same engine path (and with the same entries and safeguards)
// as a pass.
#include <chrono>

namespace qv {

// How often a followed target gets a pass of every DL besides the DLs its
// changes make due: so that DLs whose full pass (FullPassEvery) is due get it
// while nothing about them changes.
inline constexpr std::chrono::hours kFollowPassEvery{1};

// Follows item 1 of the module's selection (one DL, or a container as a pass
// takes it) until SIGTERM or SIGINT (platform::catchStopSignals must have
// been called). It runs a pass first, then keeps persistent sync searches:
// one on every entry below each base the DLs' queries start from (a base
// below another shares that one's search; from the
// cookie the pass left in the engine's state; a server runs only a few
// persistent searches on one connection) and one on the DLs themselves (their
// own edits, new and deleted DLs). Whatever a search reports makes its DLs
// due (a change below a base: every DL whose query starts there, which the
// incremental engine then finds changed or not at the cost of one sync
// search of each base, and of one read and one search for the changed
// entries of each DL); due DLs are processed once no
// report has made one due for a moment, so that a burst of changes costs one
// write per DL. A lost connection is logged and taken up again with growing
// pauses (the failover of an address of several servers included), starting
// with a pass, which catches up with what changed meanwhile.
void FollowTarget();

}  // namespace qv
