// Fuzz target for what the serial side of the simulated library reads from
// outside: lines a host sends to the crate, replies scanned with the read
// formats callers use, format texts, and the raw replies of the inventory.
// The first byte chooses the parser.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "boards/crate.h"
#include "formatted.h"
#include "serial.h"

using namespace tq::sim;

namespace
{

void scan(const char *format, std::string_view message, ...)
{
    va_list args;
    va_start(args, message);
    scanRead(format, &args, message);
    va_end(args);
}

Crate &crate()
{
    static Crate *c = [] {
        auto *made = new Crate;
        for (auto [key, value] : {std::pair{"controllers", "0 1 31"},
                                  {"la0.slot3", "0x41"},
                                  {"la0.slot5", "untyped"},
                                  {"la1.slot16", "untyped"},
                                  {"la1.slot16.writable", "0"},
                                  {"la31.slot1", "0x21"},
                                  {"la31.slot1.replyR60", "$Dzz\\r\\n"}})
            made->configure(key, value);
        return made;
    }();
    return *c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: {
        // Requests on the wire, split at line feeds as a port does.
        CrateRequest r;
        std::string reply;
        size_t start = 0;
        while (start < text.size()) {
            size_t lf = text.find('\n', start);
            std::string_view line(text.data() + start, (lf == std::string::npos ? text.size() : lf + 1) - start);
            parseCrateRequest(line, r);
            crate().receive(line, reply);
            start += line.size();
        }
        break;
    }
    case 1: {
        // Replies, scanned with the formats of a crate scan and with strings
        // into buffers that must never overflow.
        uint16_t u16 = 0;
        uint32_t u32 = 0, count = 8;
        uint64_t u64 = 0;
        double d = 0;
        char small[8], big[64];
        scan("$D%hx\r\n", text, &u16);
        scan("$V%hx\r\n", text, &u16);
        scan("%#t", text, &count, small);
        count = 0;
        scan("%#t", text, &count, small);
        count = 1;
        scan("%#s %#[^,]", text, &count, small, &count, small);
        scan("%i,%u,%llx,%lf%n", text, &u32, &u32, &u64, &d, &u32);
        scan("%7s%7c%63T", text, small, small, big);
        scan("%*d %5[a-z0-9] %2hx", text, small, &u16);
        break;
    }
    case 2:
        checkReadFormat(text.c_str());
        checkWriteFormat(text.c_str());
        break;
    case 3: {
        std::string decoded;
        decodeEscapes(text, decoded);
        Crate c;
        c.configure(text, "1");
        c.configure("la0.slot1.replyR60", text);
        c.configure("controllers", text);
        break;
    }
    }
    return 0;
}
