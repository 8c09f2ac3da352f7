// The PnP handle and what it reaches by name: properties through the
// model's tables, operations, crossCheck, and the stream.
#include <cstdlib>
#include <cstring>

#include "internal.h"
#include "tq/driver/driver.h"
#include "tq/driver/pnp_refcount.h"
#include "tq/platform/numfmt.h"

namespace tq::driver
{

namespace
{

template <typename Row> const Row *findRow(const Row *rows, size_t count, const char *name)
{
    if (!rows || !name)
        return nullptr;
    for (size_t i = 0; i < count; ++i)
        if (rows[i].name && strcmp(rows[i].name, name) == 0)
            return &rows[i];
    return nullptr;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

ViStatus Driver::getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle, const TQPnPHandle &layout) noexcept
{
    if (!handle)
        return VI_ERROR_INV_PARAMETER;
    auto *h = static_cast<TQPnPHandle *>(calloc(1, sizeof(TQPnPHandle)));
    if (!h) {
        *handle = nullptr;
        return VI_ERROR_ALLOC;
    }
    *h = layout;
    h->refCount = 1;
    h->session = VI_NULL;
    if (info_.adjustPnPHandle)
        info_.adjustPnPHandle(*h);
    const ViStatus status = init(rsrcName, VI_FALSE, info_.pnpInitReset ? VI_TRUE : VI_FALSE, &h->session);
    if (status < VI_SUCCESS) {
        free(h);
        *handle = nullptr;
        return status;
    }
    *handle = h;
    return status;
}

ViStatus Driver::releasePnPHandle(TQPnPHandle **handle) noexcept
{
    return pnpRelease(
        handle, [](ViSession session, void *driver) { static_cast<Driver *>(driver)->close(session); }, this);
}

// ---------------------------------------------------------------------------

ViStatus Driver::setPropertyByName(ViSession vi, ViConstString name, ViConstString value) noexcept
{
    return guarded([&]() -> ViStatus {
        const SetProperty *row = findRow(info_.setProperties, info_.setPropertyCount, name);
        if (!row)
            return VI_ERROR_NSUP_OPER;
        ScannedValue v;
        if (!scanValue(row->format, value, v))
            return VI_ERROR_INV_PARAMETER;
        if (!row->set)
            return VI_ERROR_NSUP_OPER; // read-only
        return row->set(vi, v);
    });
}

ViStatus Driver::getPropertyByName(ViSession vi, ViConstString name, ViConstString index, ViChar *value,
                                   ViInt32 length) noexcept
{
    return guarded([&]() -> ViStatus {
        const GetProperty *row = findRow(info_.getProperties, info_.getPropertyCount, name);
        if (!row)
            return VI_ERROR_NSUP_OPER;
        ViInt16 channel = 0;
        if (row->indexed && (!index || platform::cscan(index, "%hd", &channel) != 1))
            return VI_ERROR_INV_PARAMETER;
        if (!value)
            return VI_ERROR_INV_PARAMETER;
        PropertyValue v;
        const ViStatus status = row->get(vi, channel, v);
        if (status < VI_SUCCESS)
            return status;
        v.text[sizeof v.text - 1] = '\0';
        // The caller's size bounds the text when it gives one; callers that
        // give none provide room for the longest value, a 255-character name.
        const size_t size = length > 0 ? static_cast<size_t>(length) : kNameLength;
        switch (row->print) {
        case PrintFormat::Text:
            platform::cformat(value, size, "%s", v.text);
            break;
        case PrintFormat::Int16:
            platform::cformat(value, size, "%hd", v.int16);
            break;
        case PrintFormat::Unsigned16:
            platform::cformat(value, size, "%d", static_cast<int>(v.uint16));
            break;
        case PrintFormat::Int32:
            platform::cformat(value, size, "%d", v.int32);
            break;
        case PrintFormat::Real:
            platform::cformat(value, size, "%lf", v.real);
            break;
        }
        return status;
    });
}

ViStatus Driver::doOperation(ViSession vi, ViConstString operation, ViConstString argument) noexcept
{
    return guarded([&]() -> ViStatus {
        const Operation *row = findRow(info_.operations, info_.operationCount, operation);
        if (!row || !row->run)
            return VI_ERROR_NSUP_OPER;
        return row->run(vi, argument);
    });
}

ViStatus Driver::crossCheck(ViSession vi, ViChar *message) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        char scratch[kNameLength] = {};
        return model_.crossCheck(*s, message ? message : scratch);
    });
}

ViStatus Driver::getStream(ViSession vi, ViConstString streamName, TQStream **stream) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!stream)
        return VI_ERROR_INV_PARAMETER;
    if (!s->stream)
        return VI_ERROR_NSUP_OPER;
    if (streamName)
        copyName(s->stream->streamGetName(s->stream), TQ_STREAM_NAME_SIZE, streamName);
    *stream = s->stream;
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------

ViStatus ChannelNameCheck::check(int channel, const char *name, ViChar *message)
{
    char scratch[kNameLength];
    char *text = message ? message : scratch;
    const short number = static_cast<short>(channel);
    if (!name || !*name) {
        platform::cformat(text, kNameLength, "Channel %hd must be assigned a name", number);
        return VI_ERROR_INV_PARAMETER;
    }
    const size_t length = strnlen(name, TQ_CHANNEL_NAME_SIZE);
    if (length >= TQ_CHANNEL_NAME_SIZE) {
        platform::cformat(text, kNameLength, "Channel %hd name to long", number);
        return VI_ERROR_INV_PARAMETER;
    }
    bool legal = isLetter(name[0]);
    for (size_t i = 1; legal && i < length; ++i)
        legal = isLetter(name[i]) || isDigit(name[i]) || name[i] == '_';
    if (!legal) {
        platform::cformat(text, kNameLength, "Channel %hd name contains illegal characters", number);
        return VI_ERROR_INV_PARAMETER;
    }
    for (const std::string &seen : accepted_)
        if (seen == name) {
            platform::cformat(text, kNameLength, "Channel %hd name '%s' not unique", number, name);
            return VI_ERROR_INV_PARAMETER;
        }
    try {
        accepted_.emplace_back(name, length);
    } catch (const std::bad_alloc &) {
        platform::cformat(text, kNameLength, "Internal memory allocation failure");
        return VI_ERROR_ALLOC;
    }
    return VI_SUCCESS;
}

} // namespace tq::driver
