#include "boards/crate.h"

#include <cctype>
#include <cstring>
#include <strings.h>

#include "tq/platform/numfmt.h"
#include "tq/platform/text.h"

namespace tq::sim
{

namespace
{

constexpr uint8_t kTypeRegister = 0x60;
constexpr uint8_t kIdRegister = 0x01;
constexpr uint8_t kModeRegister = 0x08;
// What a unit without a type answers in its identification register.
constexpr uint16_t kUntypedId = 0x60;

// Reads the two-digit hexadecimal fields of text into out; false unless
// text is exactly that many fields.
bool hexFields(std::string_view text, uint8_t *out, size_t fields)
{
    if (text.size() != fields * 2)
        return false;
    for (size_t i = 0; i < fields; ++i) {
        int hi = tq::platform::hexDigit(text[2 * i]), lo = tq::platform::hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

bool startsWithNoCase(const std::string &s, size_t at, const char *prefix)
{
    const size_t n = strlen(prefix);
    return s.size() >= at + n && strncasecmp(s.c_str() + at, prefix, n) == 0;
}

// A decimal number at s[at...], at most max; at is left after it.
bool decimalAt(const std::string &s, size_t &at, int max, int &out)
{
    size_t b = at;
    long v = 0;
    while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) && at - b < 4)
        v = v * 10 + (s[at++] - '0');
    if (at == b || v > max || (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))))
        return false;
    out = static_cast<int>(v);
    return true;
}

bool hexRegister(const std::string &s, size_t at, uint8_t &reg)
{
    return hexFields(std::string_view(s).substr(at), &reg, 1);
}

} // namespace

bool parseCrateRequest(std::string_view line, CrateRequest &request)
{
    if (line.empty() || line.back() != '\n')
        return false;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() < 2 || line[0] != '$')
        return false;
    const std::string_view fields = line.substr(2);
    uint8_t f[4] = {};
    CrateRequest r;
    switch (line[1]) {
    case 'Z':
        if (!fields.empty())
            return false;
        r.kind = CrateRequest::Kind::Wake;
        break;
    case 'V':
        if (!hexFields(fields, f, 1))
            return false;
        r.kind = CrateRequest::Kind::Version;
        r.address = f[0];
        break;
    case 'R':
        if (!hexFields(fields, f, 3))
            return false;
        r.kind = CrateRequest::Kind::Read;
        r.address = f[0];
        r.slot = f[1];
        r.reg = f[2];
        break;
    case 'W':
        if (!hexFields(fields, f, 4))
            return false;
        r.kind = CrateRequest::Kind::Write;
        r.address = f[0];
        r.slot = f[1];
        r.reg = f[2];
        r.value = f[3];
        break;
    default:
        return false;
    }
    request = r;
    return true;
}

void Crate::receive(std::string_view line, std::string &reply)
{
    CrateRequest r;
    if (!parseCrateRequest(line, r) || r.kind == CrateRequest::Kind::Wake)
        return;
    auto c = controllers_.find(r.address);
    if (c == controllers_.end() || !c->second.present)
        return;
    Controller &controller = c->second;
    if (r.kind == CrateRequest::Kind::Version) {
        if (controller.versionReply)
            reply += *controller.versionReply;
        else
            reply += platform::cformatString("$V%x\r\n", static_cast<unsigned>(controller.version));
        return;
    }
    auto u = controller.slots.find(r.slot);
    if (u == controller.slots.end())
        return;
    Unit &unit = u->second;
    if (r.kind == CrateRequest::Kind::Read) {
        if (auto raw = unit.readReplies.find(r.reg); raw != unit.readReplies.end())
            reply += raw->second;
        else {
            auto v = unit.registers.find(r.reg);
            reply +=
                platform::cformatString("$D%x\r\n", static_cast<unsigned>(v == unit.registers.end() ? 0 : v->second));
        }
        return;
    }
    if (unit.writable)
        unit.registers[r.reg] = r.value;
    if (auto raw = unit.writeReplies.find(r.reg); raw != unit.writeReplies.end())
        reply += raw->second;
    else
        reply += "$OK\r\n";
}

bool Crate::configure(const std::string &key, const std::string &value)
{
    uint64_t n = 0;
    if (!strcasecmp(key.c_str(), "controllers")) {
        std::map<int, bool> listed;
        size_t at = 0;
        while (at < value.size()) {
            size_t end = value.find_first_of(", \t", at);
            std::string item = value.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? value.size() : end + 1;
            if (item.empty())
                continue;
            if (!readSettingNumber(item, 255, n))
                return false;
            listed[static_cast<int>(n)] = true;
        }
        for (auto &[address, controller] : controllers_)
            controller.present = false;
        for (const auto &[address, yes] : listed)
            controllers_[address].present = yes;
        return true;
    }
    if (!startsWithNoCase(key, 0, "la"))
        return false;
    size_t at = 2;
    int address = 0;
    if (!decimalAt(key, at, 255, address))
        return false;
    if (at == key.size()) {
        if (!strcasecmp(value.c_str(), "none")) {
            controllers_[address].present = false;
            return true;
        }
        if (!readSettingNumber(value, 0xFFFF, n))
            return false;
        controllers_[address].present = true;
        controllers_[address].version = static_cast<uint16_t>(n);
        return true;
    }
    if (key[at] != '.')
        return false;
    ++at;
    const std::string rest = key.substr(at);
    if (!strcasecmp(rest.c_str(), "version")) {
        if (!readSettingNumber(value, 0xFFFF, n))
            return false;
        controllers_[address].version = static_cast<uint16_t>(n);
        return true;
    }
    if (!strcasecmp(rest.c_str(), "replyV")) {
        std::string raw;
        if (!decodeEscapes(value, raw))
            return false;
        controllers_[address].versionReply = raw;
        return true;
    }
    if (!startsWithNoCase(rest, 0, "slot"))
        return false;
    size_t s = 4;
    int slot = 0;
    if (!decimalAt(rest, s, 255, slot))
        return false;
    if (s != rest.size() && rest[s] != '.')
        return false;
    return configureUnit(address, slot, s == rest.size() ? std::string() : rest.substr(s + 1), value);
}

bool Crate::configureUnit(int address, int slot, const std::string &rest, const std::string &value)
{
    Controller &controller = controllers_[address];
    uint64_t n = 0;
    if (rest.empty()) {
        if (!strcasecmp(value.c_str(), "none")) {
            controller.slots.erase(slot);
            return true;
        }
        Unit unit;
        if (!strcasecmp(value.c_str(), "untyped")) {
            unit.registers[kTypeRegister] = 0;
            unit.registers[kIdRegister] = kUntypedId;
            unit.registers[kModeRegister] = 0;
        } else if (readSettingNumber(value, 0xFFFF, n))
            unit.registers[kTypeRegister] = static_cast<uint16_t>(n);
        else
            return false;
        controller.slots[slot] = unit;
        return true;
    }
    auto u = controller.slots.find(slot);
    if (u == controller.slots.end())
        return false; // name the unit first
    Unit &unit = u->second;
    uint8_t reg = 0;
    if (startsWithNoCase(rest, 0, "reg")) {
        if (!hexRegister(rest, 3, reg) || !readSettingNumber(value, 0xFFFF, n))
            return false;
        unit.registers[reg] = static_cast<uint16_t>(n);
        return true;
    }
    if (!strcasecmp(rest.c_str(), "writable")) {
        if (!readSettingNumber(value, 1, n))
            return false;
        unit.writable = n != 0;
        return true;
    }
    const bool read = startsWithNoCase(rest, 0, "replyR");
    if (read || startsWithNoCase(rest, 0, "replyW")) {
        std::string raw;
        if (!hexRegister(rest, 6, reg) || !decodeEscapes(value, raw))
            return false;
        (read ? unit.readReplies : unit.writeReplies)[reg] = raw;
        return true;
    }
    return false;
}

} // namespace tq::sim
