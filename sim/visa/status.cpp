// Texts of viStatusDesc.
#include "library.h"

namespace tq::sim {

namespace {

struct StatusText {
    ViStatus status;
    const char *text;
};

const StatusText kTexts[] = {
    {VI_SUCCESS, "VI_SUCCESS: Operation completed successfully."},
    {VI_SUCCESS_EVENT_EN, "VI_SUCCESS_EVENT_EN: The event was already enabled for at least one of the mechanisms."},
    {VI_SUCCESS_EVENT_DIS, "VI_SUCCESS_EVENT_DIS: The event was already disabled for the mechanisms."},
    {VI_SUCCESS_QUEUE_EMPTY, "VI_SUCCESS_QUEUE_EMPTY: Operation completed successfully, but the queue was empty."},
    {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR: The termination character was read."},
    {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT: The number of bytes asked for was read."},
    {VI_WARN_QUEUE_OVERFLOW, "VI_WARN_QUEUE_OVERFLOW: Events were lost because the queue was full."},
    {VI_WARN_CONFIG_NLOADED, "VI_WARN_CONFIG_NLOADED: The configuration was not loaded."},
    {VI_SUCCESS_DEV_NPRESENT, "VI_SUCCESS_DEV_NPRESENT: Session opened, but the device did not respond."},
    {VI_SUCCESS_TRIG_MAPPED, "VI_SUCCESS_TRIG_MAPPED: The trigger lines were already mapped."},
    {VI_SUCCESS_QUEUE_NEMPTY, "VI_SUCCESS_QUEUE_NEMPTY: Wait succeeded; more events remain in the queue."},
    {VI_WARN_NULL_OBJECT, "VI_WARN_NULL_OBJECT: The object reference was VI_NULL."},
    {VI_WARN_NSUP_ATTR_STATE, "VI_WARN_NSUP_ATTR_STATE: The attribute state is not supported by this resource."},
    {VI_WARN_UNKNOWN_STATUS, "VI_WARN_UNKNOWN_STATUS: The status code is not known."},
    {VI_WARN_NSUP_BUF, "VI_WARN_NSUP_BUF: The buffer setting is not supported."},
    {VI_SUCCESS_NCHAIN, "VI_SUCCESS_NCHAIN: Handlers further down the chain are not called for this event."},
    {VI_SUCCESS_NESTED_SHARED, "VI_SUCCESS_NESTED_SHARED: A shared lock was taken again (nested)."},
    {VI_SUCCESS_NESTED_EXCLUSIVE, "VI_SUCCESS_NESTED_EXCLUSIVE: An exclusive lock was taken again (nested)."},
    {VI_SUCCESS_SYNC, "VI_SUCCESS_SYNC: The asynchronous operation completed synchronously."},
    {VI_WARN_EXT_FUNC_NIMPL, "VI_WARN_EXT_FUNC_NIMPL: The operation is not implemented by this library."},
    {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR: Unknown system error."},
    {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT: The session or object reference is invalid."},
    {VI_ERROR_RSRC_LOCKED, "VI_ERROR_RSRC_LOCKED: The resource is locked by another session."},
    {VI_ERROR_INV_EXPR, "VI_ERROR_INV_EXPR: The resource expression is invalid."},
    {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND: The resource is not present in the system."},
    {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME: The resource name is invalid."},
    {VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE: The access mode is invalid."},
    {VI_ERROR_TMO, "VI_ERROR_TMO: The time-out expired before the operation completed."},
    {VI_ERROR_CLOSING_FAILED, "VI_ERROR_CLOSING_FAILED: The session could not be closed."},
    {VI_ERROR_INV_DEGREE, "VI_ERROR_INV_DEGREE: The degree is invalid."},
    {VI_ERROR_INV_JOB_ID, "VI_ERROR_INV_JOB_ID: The job identifier is invalid."},
    {VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR: The attribute is not supported by this resource."},
    {VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE: The attribute state is not supported by this resource."},
    {VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY: The attribute is read-only."},
    {VI_ERROR_INV_LOCK_TYPE, "VI_ERROR_INV_LOCK_TYPE: The lock type is invalid."},
    {VI_ERROR_INV_ACCESS_KEY, "VI_ERROR_INV_ACCESS_KEY: The access key is invalid."},
    {VI_ERROR_INV_EVENT, "VI_ERROR_INV_EVENT: The event type is invalid or not supported by this resource."},
    {VI_ERROR_INV_MECH, "VI_ERROR_INV_MECH: The event mechanism is invalid."},
    {VI_ERROR_HNDLR_NINSTALLED, "VI_ERROR_HNDLR_NINSTALLED: No handler is installed for the event."},
    {VI_ERROR_INV_HNDLR_REF, "VI_ERROR_INV_HNDLR_REF: The handler reference is invalid."},
    {VI_ERROR_INV_CONTEXT, "VI_ERROR_INV_CONTEXT: The event context is invalid."},
    {VI_ERROR_QUEUE_OVERFLOW, "VI_ERROR_QUEUE_OVERFLOW: The event queue overflowed."},
    {VI_ERROR_NENABLED, "VI_ERROR_NENABLED: The session must be enabled for events of this type."},
    {VI_ERROR_ABORT, "VI_ERROR_ABORT: The operation was aborted."},
    {VI_ERROR_RAW_WR_PROT_VIOL, "VI_ERROR_RAW_WR_PROT_VIOL: Protocol violation during a raw write."},
    {VI_ERROR_RAW_RD_PROT_VIOL, "VI_ERROR_RAW_RD_PROT_VIOL: Protocol violation during a raw read."},
    {VI_ERROR_OUTP_PROT_VIOL, "VI_ERROR_OUTP_PROT_VIOL: Protocol violation during output."},
    {VI_ERROR_INP_PROT_VIOL, "VI_ERROR_INP_PROT_VIOL: Protocol violation during input."},
    {VI_ERROR_BERR, "VI_ERROR_BERR: Bus error during the transfer."},
    {VI_ERROR_IN_PROGRESS, "VI_ERROR_IN_PROGRESS: Another operation is in progress."},
    {VI_ERROR_INV_SETUP, "VI_ERROR_INV_SETUP: The set-up is inconsistent; the operation cannot start."},
    {VI_ERROR_QUEUE_ERROR, "VI_ERROR_QUEUE_ERROR: The event could not be queued."},
    {VI_ERROR_ALLOC, "VI_ERROR_ALLOC: Not enough memory or resources for the operation."},
    {VI_ERROR_INV_MASK, "VI_ERROR_INV_MASK: The buffer mask is invalid."},
    {VI_ERROR_IO, "VI_ERROR_IO: An input/output error occurred."},
    {VI_ERROR_INV_FMT, "VI_ERROR_INV_FMT: The format specifier is invalid."},
    {VI_ERROR_NSUP_FMT, "VI_ERROR_NSUP_FMT: The format specifier is not supported."},
    {VI_ERROR_LINE_IN_USE, "VI_ERROR_LINE_IN_USE: The trigger line is in use."},
    {VI_ERROR_NSUP_MODE, "VI_ERROR_NSUP_MODE: The mode is not supported."},
    {VI_ERROR_SRQ_NOCCURRED, "VI_ERROR_SRQ_NOCCURRED: No service request has been received."},
    {VI_ERROR_INV_SPACE, "VI_ERROR_INV_SPACE: The address space is invalid."},
    {VI_ERROR_INV_OFFSET, "VI_ERROR_INV_OFFSET: The offset is invalid."},
    {VI_ERROR_INV_WIDTH, "VI_ERROR_INV_WIDTH: The access width is invalid."},
    {VI_ERROR_NSUP_OFFSET, "VI_ERROR_NSUP_OFFSET: The offset is not accessible from this hardware."},
    {VI_ERROR_NSUP_VAR_WIDTH, "VI_ERROR_NSUP_VAR_WIDTH: Different source and destination widths are not supported."},
    {VI_ERROR_WINDOW_NMAPPED, "VI_ERROR_WINDOW_NMAPPED: The session is not mapped."},
    {VI_ERROR_RESP_PENDING, "VI_ERROR_RESP_PENDING: A previous response is still pending."},
    {VI_ERROR_NLISTENERS, "VI_ERROR_NLISTENERS: No listeners were detected."},
    {VI_ERROR_NCIC, "VI_ERROR_NCIC: The interface is not the controller in charge."},
    {VI_ERROR_NSYS_CNTLR, "VI_ERROR_NSYS_CNTLR: The interface is not the system controller."},
    {VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER: The operation is not supported by this session."},
    {VI_ERROR_INTR_PENDING, "VI_ERROR_INTR_PENDING: An interrupt is still pending."},
    {VI_ERROR_ASRL_PARITY, "VI_ERROR_ASRL_PARITY: A parity error occurred."},
    {VI_ERROR_ASRL_FRAMING, "VI_ERROR_ASRL_FRAMING: A framing error occurred."},
    {VI_ERROR_ASRL_OVERRUN, "VI_ERROR_ASRL_OVERRUN: An overrun error occurred."},
    {VI_ERROR_TRIG_NMAPPED, "VI_ERROR_TRIG_NMAPPED: The trigger line is not mapped."},
    {VI_ERROR_NSUP_ALIGN_OFFSET, "VI_ERROR_NSUP_ALIGN_OFFSET: The offset is not aligned for this access width."},
    {VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF: The user buffer is not valid for the operation."},
    {VI_ERROR_RSRC_BUSY, "VI_ERROR_RSRC_BUSY: The resource is valid but cannot be used now."},
    {VI_ERROR_NSUP_WIDTH, "VI_ERROR_NSUP_WIDTH: The access width is not supported by this hardware."},
    {VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER: A parameter is invalid."},
    {VI_ERROR_INV_PROT, "VI_ERROR_INV_PROT: The protocol is invalid."},
    {VI_ERROR_INV_SIZE, "VI_ERROR_INV_SIZE: The size is invalid."},
    {VI_ERROR_WINDOW_MAPPED, "VI_ERROR_WINDOW_MAPPED: The session already has a mapped window."},
    {VI_ERROR_NIMPL_OPER, "VI_ERROR_NIMPL_OPER: The operation is not implemented."},
    {VI_ERROR_INV_LENGTH, "VI_ERROR_INV_LENGTH: The length is invalid."},
    {VI_ERROR_INV_MODE, "VI_ERROR_INV_MODE: The mode is invalid."},
    {VI_ERROR_SESN_NLOCKED, "VI_ERROR_SESN_NLOCKED: The session does not hold a lock on the resource."},
    {VI_ERROR_MEM_NSHARED, "VI_ERROR_MEM_NSHARED: The device does not export any memory."},
    {VI_ERROR_LIBRARY_NFOUND, "VI_ERROR_LIBRARY_NFOUND: A code library needed by VISA was not found."},
    {VI_ERROR_NSUP_INTR, "VI_ERROR_NSUP_INTR: The interface cannot generate an interrupt."},
    {VI_ERROR_INV_LINE, "VI_ERROR_INV_LINE: The line is invalid."},
    {VI_ERROR_FILE_ACCESS, "VI_ERROR_FILE_ACCESS: The file could not be opened."},
    {VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO: An error occurred while accessing the file."},
    {VI_ERROR_NSUP_LINE, "VI_ERROR_NSUP_LINE: The line is not supported."},
    {VI_ERROR_NSUP_MECH, "VI_ERROR_NSUP_MECH: The event mechanism is not supported for this event type."},
    {VI_ERROR_INTF_NUM_NCONFIG, "VI_ERROR_INTF_NUM_NCONFIG: The interface number is not configured."},
    {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST: The connection to the resource was lost."},
    {VI_ERROR_MACHINE_NAVAIL, "VI_ERROR_MACHINE_NAVAIL: The remote machine does not exist or is not available."},
    {VI_ERROR_NPERMISSION, "VI_ERROR_NPERMISSION: Access to the remote machine is denied."},
};

} // namespace

const char *statusDescription(ViStatus status)
{
    for (const StatusText &t : kTexts)
        if (t.status == status)
            return t.text;
    return nullptr;
}

} // namespace tq::sim
