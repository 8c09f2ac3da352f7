// PnP handle reference counting, kept apart from the driver template so that
// the virtual instruments link it without the rest of the framework.
#include "tq/driver/pnp_refcount.h"

#include <cstdlib>

namespace tq::driver
{

ViStatus pnpAddReference(TQPnPHandle *handle)
{
    if (handle)
        __atomic_add_fetch(&handle->refCount, 1, __ATOMIC_ACQ_REL);
    return VI_SUCCESS;
}

ViStatus pnpAttachBackend(ViSession, TQPnPHandle *)
{
    return VI_ERROR_NSUP_OPER;
}

ViStatus pnpRelease(TQPnPHandle **handle, PnPCloseFn close, void *context)
{
    if (!handle || !*handle)
        return VI_SUCCESS;
    TQPnPHandle *h = *handle;
    if (__atomic_sub_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL) > 0)
        return VI_SUCCESS;
    if (close)
        close(h->session, context); // its status is not the release's
    free(h);
    *handle = nullptr;
    return VI_SUCCESS;
}

} // namespace tq::driver
