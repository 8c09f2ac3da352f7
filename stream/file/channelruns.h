// Run functions registered for value functions the stream engine does not
// know itself (drivers' converters): see StreamRegisterChannelRun.
#pragma once

#include "tqstream.h"

namespace tq::stream {

// The run function registered for eval, or null. No lock: the caller
// converts a channel whose owner keeps eval registered meanwhile.
TQChannelRunFn registeredRunFor(TQChannelEvalFn eval);

} // namespace tq::stream
