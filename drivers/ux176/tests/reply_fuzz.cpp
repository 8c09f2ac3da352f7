// Fuzz target of the reply reader: the input is split into the chunks that
// successive reads return (each chunk's first byte is its length), the rest
// of the input is the first byte expected and the lengths asked for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol176.h"

namespace
{

struct Chunks {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
};

TQUsbStatus chunkedRead(void *context, uint8_t *buffer, uint32_t count, uint32_t *got)
{
    Chunks &c = *static_cast<Chunks *>(context);
    *got = 0;
    if (c.at >= c.size)
        return TQ_USBX_READ_TIMEOUT;
    size_t n = c.data[c.at++] % 80;
    if (n > c.size - c.at)
        n = c.size - c.at;
    if (n > count)
        n = count;
    memcpy(buffer, c.data + c.at, n);
    c.at += n;
    *got = static_cast<uint32_t>(n);
    return TQ_USBX_OK;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t expected = data[0];
    const uint32_t length = 1 + data[1] % 128;
    const uint32_t minimum = data[2] % (length + 1);
    Chunks chunks{data + 3, size - 3};
    std::vector<uint8_t> reply(length);
    uint32_t received = 0;
    const ViStatus status = ux176::readReply(chunkedRead, &chunks, expected, reply.data(), length, minimum, &received);
    if (received > length)
        __builtin_trap();
    if (status == VI_SUCCESS && received > 0 && (reply[0] != expected || received < minimum))
        __builtin_trap();
    ux176::ResourceName name;
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    ux176::splitResourceName(text.data(), name);
    return 0;
}
