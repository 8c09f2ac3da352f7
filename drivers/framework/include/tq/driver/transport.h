// How a driver reaches instruments that VISA does not serve (the USB model
// 176). A model that names a transport in its ModelInfo keeps the whole
// template lifecycle (session list, values from the driver's handle table,
// stream, waiter state, defaults, reset, PnP handle); only opening and
// closing the device and the texts of statuses go through the transport, and
// VISA is never bound.
//
// Session values of such a driver are handles of its handle table, with or
// without an instrument; the pointer-sized device handle stays in
// Session::device. A value therefore never names a device directly, and two
// sessions never share a value.
#pragma once

#include "tq/driver/session.h"
#include "tq/visatype.h"

namespace tq::driver
{

class Transport
{
  public:
    virtual ~Transport() = default;

    // Opens the instrument of a non-empty resource name: the device handle
    // (not null) into *device and the session's instrument name (kNameLength
    // bytes) into instrumentName. A failure leaves nothing open.
    virtual ViStatus open(ViConstRsrc rsrcName, void **device, char *instrumentName) = 0;
    // Runs once the new session is listed with its device and before its
    // reset or defaults: a model drains the device, identifies it. Its
    // outcome does not fail the open.
    virtual void attached(Session &, ViBoolean /*idQuery*/) {}
    // Closes a device handle that open gave; the result is close's.
    virtual ViStatus close(void *device) = 0;
    // error_message of a status that is not one of the driver's own texts
    // (no session is looked up): the text into message (kNameLength bytes)
    // and error_message's result.
    virtual ViStatus describe(ViStatus status, char *message) = 0;
};

} // namespace tq::driver
