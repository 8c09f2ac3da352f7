// Property value texts as the device database hands them to the drivers:
// every format of the by-name layer over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tq/driver/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size); // terminated, may hold NULs
    for (auto format : {tq::driver::ValueFormat::Text, tq::driver::ValueFormat::Int16, tq::driver::ValueFormat::Int32,
                        tq::driver::ValueFormat::Real, tq::driver::ValueFormat::IndexInt16,
                        tq::driver::ValueFormat::IndexReal, tq::driver::ValueFormat::IndexText}) {
        tq::driver::ScannedValue v;
        if (tq::driver::scanValue(format, text.c_str(), v) && strnlen(v.text, sizeof v.text) >= sizeof v.text)
            __builtin_trap();
    }
    return 0;
}
