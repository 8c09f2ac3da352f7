// Result codes at the exported edge of the stream engine, the texts of
// tqstream_error_message, and the debug trace printer.
#include "status.h"

#include <cstdarg>
#include <cstring>

#include "tq/platform/debug.h"
#include "tq/platform/numfmt.h"
#include "tqstream.h"

namespace tq::stream {

ViStatus statusFromCode(int32_t code)
{
    switch (code) {
    case 0:
        return VI_SUCCESS;
    case TQS_MORE:
        return TQ_WARN_MORE_DATA;
    case TQS_EMPTY:
        return VI_SUCCESS_QUEUE_EMPTY;
    case TQS_ERR_NOMEM:
        return VI_ERROR_ALLOC;
    case TQS_ERR_TOOLARGE:
        return VI_ERROR_QUEUE_ERROR;
    case TQS_ERR_LOCK_TIMEOUT:
        return VI_ERROR_TMO;
    default:
        return VI_ERROR_SYSTEM_ERROR;
    }
}

int32_t lockResult(tq::platform::WaitResult result)
{
    switch (result) {
    case tq::platform::WaitResult::Signaled:
        return TQS_OK;
    case tq::platform::WaitResult::Timeout:
        return TQS_ERR_LOCK_TIMEOUT;
    default:
        return TQS_ERR_FAILED;
    }
}

void debugTrace(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    tq::platform::debugVPrintf(format, args);
    va_end(args);
}

namespace {

struct StatusText {
    ViStatus status;
    const char *text;
};

// The VISA statuses these libraries report, with the texts callers show.
const StatusText kStatusTexts[] = {
    {(ViStatus)0, "Operation completed successfully."},
    {(ViStatus)0xBFFF0000, "Unknown system error."},
    {(ViStatus)0xBFFF000E, "The given session or object reference is invalid."},
    {(ViStatus)0xBFFF000F, "Specified type of lock cannot be obtained because the resource is already locked with a lock type incompatible with the lock requested."},
    {(ViStatus)0xBFFF0010, "Invalid expression specified for search."},
    {(ViStatus)0xBFFF0011, "Insufficient location information or resource not present in the system."},
    {(ViStatus)0xBFFF0012, "Invalid resource reference specified.  Parsing error."},
    {(ViStatus)0xBFFF0013, "Invalid access mode"},
    {(ViStatus)0xBFFF0015, "Specified type of lock could not be obtained within the specified timeout period."},
    {(ViStatus)0xBFFF0016, "Unable to deallocate the previously allocated data structures corresponding to this session or object reference."},
    {(ViStatus)0xBFFF001B, "Specified degree is invalid."},
    {(ViStatus)0xBFFF001C, "Specified job identifier is invalid."},
    {(ViStatus)0xBFFF001D, "The specified attribute is not defined by the referenced session, event, or find list."},
    {(ViStatus)0xBFFF001E, "The specified state of the attribute is not valid, or is not supported as defined by the session, event, or find list."},
    {(ViStatus)0xBFFF001F, "the specified attribute is read-only."},
    {(ViStatus)0xBFFF0020, "The specified type of lock is not supported by this resource."},
    {(ViStatus)0xBFFF0021, "The requested key value passed in is not a valid access key to the specified resource."},
    {(ViStatus)0xBFFF0026, "Specified event type is not supported by the resource."},
    {(ViStatus)0xBFFF0027, "Invalid mechanism specified."},
    {(ViStatus)0xBFFF0028, "A handler was not installed for the specified event."},
    {(ViStatus)0xBFFF0029, "The given handler reference is invalid."},
    {(ViStatus)0xBFFF002A, "Specified event context is invalid."},
    {(ViStatus)0xBFFF002F, "The session must be enabled for events of the specified type in order to receive them."},
    {(ViStatus)0xBFFF0034, "Violation of raw write protocol occured during transfer."},
    {(ViStatus)0xBFFF0035, "Violation of raw read protocol occured during transfer."},
    {(ViStatus)0xBFFF0036, "Device reported an output protocol error during transfer."},
    {(ViStatus)0xBFFF0037, "Device reported an input protocol error during transfer."},
    {(ViStatus)0xBFFF0038, "Bus error occured during transfer."},
    {(ViStatus)0xBFFF003A, "Invalid setup."},
    {(ViStatus)0xBFFF003B, "Unable to queue operation."},
    {(ViStatus)0xBFFF003C, "Insufficient system resources."},
    {(ViStatus)0xBFFF003D, "The system cannot set the buffer for the given mask."},
    {(ViStatus)0xBFFF003E, "An unknown I/O error occurred during transfer."},
    {(ViStatus)0xBFFF003F, "A format specifier in the string is invalid."},
    {(ViStatus)0xBFFF0041, "A format specifier in the string is not supported."},
    {(ViStatus)0xBFFF0042, "The specified trigger line is currently in use."},
    {(ViStatus)0xBFFF004A, "Service request has not been received for the session."},
    {(ViStatus)0xBFFF004E, "Invalid address space specified."},
    {(ViStatus)0xBFFF0051, "Invalid offset specified."},
    {(ViStatus)0xBFFF0054, "Specified offset is not accessible from this hardware."},
    {(ViStatus)0xBFFF0055, "Cannot support source and destination widths that are different."},
    {(ViStatus)0xBFFF0059, "A previous response is still pending, causing a multiple query error."},
    {(ViStatus)0xBFFF005F, "No listeners condition is detected."},
    {(ViStatus)0xBFFF0060, "The interface associated with the given vi is not currently the controller in charge."},
    {(ViStatus)0xBFFF0061, "The interface associated with this session is not the system controller."},
    {(ViStatus)0xBFFF0067, "The given session does not support this operation."},
    {(ViStatus)0xBFFF006A, "A parity error occured during transfer."},
    {(ViStatus)0xBFFF006B, "A framing error occurred during transfer."},
    {(ViStatus)0xBFFF006C, "An overrun error occured during transfer.  A character was not read from the hardware before the next character arrived."},
    {(ViStatus)0xBFFF0070, "The specified offset is not properly aligned for the access width of the operation."},
    {(ViStatus)0xBFFF0071, "A specified user buffer is not valid or cannot be accessed for the required size."},
    {(ViStatus)0xBFFF0072, "The resource is valid, but VISA cannot currently access it."},
    {(ViStatus)0xBFFF0076, "Specified width is not supported by this hardware."},
    {(ViStatus)0xBFFF0078, "The value of some parameter - which parameter is not known - is invalid."},
    {(ViStatus)0xBFFF007B, "Invalid size of window specified."},
    {(ViStatus)0xBFFF0080, "The specified session already contains a mapped window."},
    {(ViStatus)0xBFFF0081, "The given operation is not implemented."},
    {(ViStatus)0xBFFF0083, "Invalid length specified."},
    {(ViStatus)0xBFFF0091, "The value specified by the mode parameter is invalid."},
    {(ViStatus)0xBFFF009C, "The current session did not have any lock on the resource."},
    {(ViStatus)0xBFFF009D, "The device does not export any memory."},
    {(ViStatus)0xBFFF009E, "A code library required by VISA could not be located or loaded."},
    {(ViStatus)0x3FFF0002, "Specified event is already enabled for at least one of the specified mechanisms."},
    {(ViStatus)0x3FFF0003, "Specified event is already disabled for at least one of the specified mechanisms."},
    {(ViStatus)0x3FFF0004, "Operation completed successfully, but queue was empty."},
    {(ViStatus)0x3FFF0005, "The specified termination character was read."},
    {(ViStatus)0x3FFF0006, "The number of bytes read is equal to count."},
    {(ViStatus)0x3FFF0077, "The specified configuration either does not exist or could not be loaded; using VISA-specified defaults."},
    {(ViStatus)0x3FFF007D, "Session opened successfully, but the device at the address is not responding."},
    {(ViStatus)0x3FFF0082, "The specified object reference is uninitialized."},
    {(ViStatus)0x3FFF0084, "Although the specified attribute state is valid, it is not supported by this implementation."},
    {(ViStatus)0x3FFF0085, "The status code passed to the operation could not be interpereted."},
    {(ViStatus)0x3FFF0088, "The specified buffer is not supported."},
    {(ViStatus)0x3FFF0098, "Event handled successfully.  Do not invoke any other handlers on this session for this event."},
    {(ViStatus)0x3FFF0099, "Operation completed successfully, and this  session has nested shared locks."},
    {(ViStatus)0x3FFF009A, "Operation completed successfully, and this session has nested exclusive locks."},
    {(ViStatus)0x3FFF009B, "Operation performed synchronously."},
};

} // namespace

} // namespace tq::stream

TQ_API ViStatus tqstream_error_message(ViSession, ViStatus status, ViChar *message)
{
    const char *text = "Unknown Status";
    ViStatus result = VI_WARN_UNKNOWN_STATUS;
    for (const auto &entry : tq::stream::kStatusTexts) {
        if (entry.status == status) {
            text = entry.text;
            result = VI_SUCCESS;
            break;
        }
    }
    if (message)
        std::strcpy(message, text);
    return result;
}
