#pragma once
// The hash chain over the events: each event's chain is the SHA-256 of the
// previous event's chain and of this event's fields, so that an event
// altered, removed or put in between no longer matches what follows it.
// The first event follows 32 zero bytes, or the checkpoint left by pruning.
//
// The chain shows a change made by someone who did not recompute it; it
// proves nothing against someone who rewrites every later event too.

#include <string>

#include "history/history_event.h"
#include "history/sha256.h"

namespace quinterra {

// The fields as hashed: each as its length, a colon and its bytes, so that
// no two different events give the same text.
std::string ChainedFields(const THistoryEvent& event);

// The chain of event after previous (32 bytes).
TDigest NextChain(const TDigest& previous, const THistoryEvent& event);

}  // namespace quinterra
