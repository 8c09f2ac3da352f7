#include "rsrcname.h"

#include <cctype>
#include <cstring>
#include <cstdlib>
#include <strings.h>
#include <vector>

#include "tq/platform/numfmt.h"

namespace tq::sim {

namespace {

std::vector<std::string> splitFields(const std::string &text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t pos = text.find("::", start);
        fields.push_back(text.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            break;
        start = pos + 2;
    }
    return fields;
}

bool startsWithNoCase(const std::string &s, const char *prefix)
{
    return strncasecmp(s.c_str(), prefix, strlen(prefix)) == 0;
}

// A decimal number of at most 5 digits filling the whole text, within max.
bool readNumber(const std::string &s, int max, int &out)
{
    if (s.empty() || s.size() > 5)
        return false;
    int v = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 10 + (c - '0');
    }
    if (v > max)
        return false;
    out = v;
    return true;
}

// "PXI", "GPIB", "ASRL"... followed by an optional board number.
bool splitInterface(const std::string &field, std::string &type, int &number)
{
    size_t i = 0;
    while (i < field.size() && std::isalpha(static_cast<unsigned char>(field[i])))
        ++i;
    // Interface types with a hyphen (GPIB-VXI) are still "another interface".
    while (i < field.size() && (field[i] == '-' || std::isalpha(static_cast<unsigned char>(field[i]))))
        ++i;
    if (i == 0)
        return false;
    type = field.substr(0, i);
    number = 0;
    if (i == field.size())
        return true;
    return readNumber(field.substr(i), 0xFFFF, number);
}

} // namespace

ViStatus parseResourceName(const std::string &text, ResourceName &out)
{
    std::vector<std::string> f = splitFields(text);
    std::string type;
    int number = 0;
    if (f.empty() || !splitInterface(f[0], type, number))
        return VI_ERROR_INV_RSRC_NAME;
    for (const std::string &field : f)
        if (field.empty())
            return VI_ERROR_INV_RSRC_NAME;
    if (strcasecmp(type.c_str(), "ASRL") == 0) {
        // ASRL[board][::INSTR]: the class may be left out.
        if (f.size() > 2 || (f.size() == 2 && strcasecmp(f[1].c_str(), "INSTR") != 0))
            return VI_ERROR_INV_RSRC_NAME;
        ResourceName r;
        r.kind = ResourceName::Kind::Serial;
        r.interfaceNumber = static_cast<uint16_t>(number);
        out = r;
        return VI_SUCCESS;
    }
    if (f.size() < 2)
        return VI_ERROR_INV_RSRC_NAME;
    if (strcasecmp(type.c_str(), "PXI") != 0) {
        static const char *const others[] = {"GPIB", "GPIB-VXI", "VXI", "TCPIP", "USB", "FIREWIRE"};
        for (const char *o : others)
            if (strcasecmp(type.c_str(), o) == 0)
                return VI_ERROR_RSRC_NFOUND;
        return VI_ERROR_INV_RSRC_NAME;
    }

    ResourceName r;
    r.interfaceNumber = static_cast<uint16_t>(number);
    // A trailing INSTR is optional for instruments.
    if (f.size() >= 3 && strcasecmp(f.back().c_str(), "INSTR") == 0)
        f.pop_back();
    else if (f.size() == 2 && strcasecmp(f[1].c_str(), "MEMACC") == 0) {
        r.kind = ResourceName::Kind::MemoryAccess;
        out = r;
        return VI_SUCCESS;
    } else if (f.size() == 2 && strcasecmp(f[1].c_str(), "INSTR") == 0)
        return VI_ERROR_INV_RSRC_NAME;

    const std::string &a = f[1];
    if (startsWithNoCase(a, "CHASSIS")) {
        // PXI[interface]::CHASSISc::SLOTs[::FUNCf]
        if (f.size() < 3 || f.size() > 4 || !readNumber(a.substr(7), 255, r.chassis) ||
            !startsWithNoCase(f[2], "SLOT") || !readNumber(f[2].substr(4), 255, r.slot))
            return VI_ERROR_INV_RSRC_NAME;
        if (f.size() == 4 && (!startsWithNoCase(f[3], "FUNC") || !readNumber(f[3].substr(4), 7, r.function)))
            return VI_ERROR_INV_RSRC_NAME;
    } else if (a.find('-') != std::string::npos) {
        // PXI[interface]::bus-device[.function]
        if (f.size() != 2)
            return VI_ERROR_INV_RSRC_NAME;
        size_t dash = a.find('-');
        size_t dot = a.find('.', dash);
        std::string dev = a.substr(dash + 1, dot == std::string::npos ? std::string::npos : dot - dash - 1);
        if (!readNumber(a.substr(0, dash), 255, r.bus) || !readNumber(dev, 31, r.device))
            return VI_ERROR_INV_RSRC_NAME;
        if (dot != std::string::npos && !readNumber(a.substr(dot + 1), 7, r.function))
            return VI_ERROR_INV_RSRC_NAME;
    } else {
        // PXI[bus]::device[::function]
        if (f.size() > 3 || !readNumber(a, 31, r.device) || number > 255)
            return VI_ERROR_INV_RSRC_NAME;
        r.bus = number;
        if (f.size() == 3 && !readNumber(f[2], 7, r.function))
            return VI_ERROR_INV_RSRC_NAME;
    }
    out = r;
    return VI_SUCCESS;
}

bool isDerivedResourceName(const std::string &text)
{
    // The suffix starts at the first '_' of the last field.
    size_t last = text.rfind("::");
    size_t underscore = text.find('_', last == std::string::npos ? 0 : last + 2);
    if (last == std::string::npos || underscore == std::string::npos)
        return false;
    ResourceName r;
    return parseResourceName(text.substr(0, underscore), r) == VI_SUCCESS;
}

std::string canonicalInstrumentName(int bus, int device, int function)
{
    if (function != 0)
        return platform::cformatString("PXI%d::%d::%d::INSTR", bus, device, function);
    return platform::cformatString("PXI%d::%d::INSTR", bus, device);
}

std::string canonicalMemoryName(uint16_t interfaceNumber)
{
    return platform::cformatString("PXI%u::MEMACC", static_cast<unsigned>(interfaceNumber));
}

std::string canonicalSerialName(uint16_t board)
{
    return platform::cformatString("ASRL%u::INSTR", static_cast<unsigned>(board));
}

} // namespace tq::sim
