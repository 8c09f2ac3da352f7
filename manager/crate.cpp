// The serial crate's line protocol (see crate.h): typing a unit and the scan
// of a port during discovery.
#include "crate.h"

#include "tq/driver/visa_binding.h"
#include "tq/platform/text.h"

namespace tq::manager
{

namespace
{

// The longest reply line kept; every proper reply is far shorter, and a
// longer one is no proper reply.
constexpr ViUInt32 kReplySize = 64;

struct Reply {
    char text[kReplySize];
    ViUInt32 count = 0;
    std::string_view line() const { return {text, count}; }
};

// One request and its whole reply line ("%#t": up to and with the
// termination character). After a failed exchange the reply is empty.
template <typename... Args>
ViStatus ask(QueryFunction query, ViSession vi, Reply &reply, const char *writeFormat, Args... args)
{
    reply.count = kReplySize - 1;
    const ViStatus st = queryInstrument(query, vi, writeFormat, "%#t", args..., &reply.count, reply.text);
    if (st < VI_SUCCESS || reply.count > kReplySize - 1)
        reply.count = st < VI_SUCCESS ? 0 : kReplySize - 1;
    reply.text[reply.count] = '\0';
    return st;
}

bool isLineEnd(std::string_view rest)
{
    return rest == "\r\n" || rest == "\n";
}

// A register read: the exchange's failure, VI_ERROR_RSRC_NFOUND for a reply
// that carries no value, else the value.
ViStatus readRegister(QueryFunction query, ViSession vi, const char *writeFormat, ViUInt16 address, ViUInt16 slot,
                      ViUInt16 &value)
{
    Reply reply;
    const ViStatus st = ask(query, vi, reply, writeFormat, static_cast<unsigned>(address), static_cast<unsigned>(slot));
    if (st < VI_SUCCESS)
        return st;
    return readCrateValue(reply.line(), 'D', value) ? VI_SUCCESS : VI_ERROR_RSRC_NFOUND;
}

bool isKnownType(ViUInt16 value)
{
    for (ViUInt16 t : kCrateUnitTypes)
        if (t == value)
            return true;
    return false;
}

} // namespace

ViStatus queryInstrument(QueryFunction query, ViSession vi, const char *writeFormat, const char *readFormat, ...)
{
    va_list args;
    va_start(args, readFormat);
    const ViStatus st = (query ? query : visa::visa().viVQueryf)(vi, writeFormat, readFormat, args);
    va_end(args);
    return st;
}

bool readCrateValue(std::string_view line, char tag, ViUInt16 &value)
{
    if (line.size() < 3 || line[0] != '$' || line[1] != tag)
        return false;
    unsigned v = 0;
    size_t i = 2;
    for (; i < line.size() && tq::platform::hexDigit(line[i]) >= 0; ++i) {
        if (i - 2 == 4)
            return false; // more than a 16-bit register holds
        v = v * 16 + static_cast<unsigned>(tq::platform::hexDigit(line[i]));
    }
    if (i == 2 || !isLineEnd(line.substr(i)))
        return false;
    value = static_cast<ViUInt16>(v);
    return true;
}

bool isCrateOk(std::string_view line)
{
    return line.substr(0, 3) == "$OK" && isLineEnd(line.substr(3));
}

ViStatus probeCrateUnit(ViSession vi, ViUInt16 address, ViUInt16 slot, ViUInt16 *type, QueryFunction query)
{
    if (type)
        *type = 0;
    ViUInt16 value = 0;
    ViStatus st = readRegister(query, vi, "$R%2.2x%2.2x60\r\n", address, slot, value);
    if (st < VI_SUCCESS)
        return st;
    if (!isKnownType(value)) {
        // A unit without a type of its own: one that answers 0x60 in
        // register 01 tells its kind by whether register 08 keeps 0x0a.
        if (readRegister(query, vi, "$R%2.2x%2.2x01\r\n", address, slot, value) < VI_SUCCESS || value != 0x60)
            return VI_ERROR_RSRC_NFOUND;
        Reply reply;
        st = ask(query, vi, reply, "$W%2.2x%2.2x080a\r\n", static_cast<unsigned>(address), static_cast<unsigned>(slot));
        if (st < VI_SUCCESS)
            return st;
        if (!isCrateOk(reply.line()))
            return VI_ERROR_RSRC_NFOUND;
        st = readRegister(query, vi, "$R%2.2x%2.2x08\r\n", address, slot, value);
        if (st < VI_SUCCESS)
            return st;
        value = value == 0x0a ? 0x21 : 0x20;
    }
    if (type)
        *type = value;
    return VI_SUCCESS;
}

ViStatus askCratePresence(ViSession vi, ViUInt16 address, QueryFunction query)
{
    Reply reply;
    const ViStatus st = ask(query, vi, reply, "$V%2.2hx\r\n", static_cast<unsigned>(address));
    ViUInt16 ignored = 0;
    if (st == VI_ERROR_TMO || (st >= VI_SUCCESS && !readCrateValue(reply.line(), 'V', ignored)))
        return VI_ERROR_RSRC_NFOUND;
    return st < VI_SUCCESS ? st : VI_SUCCESS;
}

} // namespace tq::manager
