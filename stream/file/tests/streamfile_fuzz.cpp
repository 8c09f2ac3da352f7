// Fuzz target of the stream file parser: any bytes, as a file, must parse or
// be refused without a crash, an overflow or a leak.
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

#include "core/streamimpl.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser reports unknown chunks on standard output.
    if (!freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fd = memfd_create("streamfile", 0);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return 0;
    }
    TQAcqdReader reader{};
    reader.fd = fd;
    if (ACQDParse(fd, &reader.context) == 1 && reader.context.formType == TQ_FORM_ACQD) {
        uint8_t scan[2 * TQ_PARSE_MAX_CHANNELS];
        ACQDSetSample(0.0, &reader, scan);
        ACQDSetSample(3.9, &reader, scan);
    }
    tq::stream::parseContextFree(&reader.context);
    close(fd);
    return 0;
}
