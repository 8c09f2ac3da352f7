// Reference counting of a PnP handle, shared by every driver and by the
// virtual instruments: the one piece of the framework that a library without
// a driver session record carries too.
#pragma once

#include "tqpnp.h"

namespace tq::driver
{

// addReference of every PnP handle: adds one reference; 0.
ViStatus pnpAddReference(TQPnPHandle *handle);
// attachBackend of every driver and instrument: not supported.
ViStatus pnpAttachBackend(ViSession frontend, TQPnPHandle *backend);

// The owner's end of a session, called once the last reference is gone.
using PnPCloseFn = void (*)(ViSession session, void *context);

// release of every PnP handle: drops the holder's reference; when it was the
// last, closes the handle's session through close, frees the handle (it was
// allocated with calloc) and clears *handle. Always 0.
ViStatus pnpRelease(TQPnPHandle **handle, PnPCloseFn close, void *context);

} // namespace tq::driver
