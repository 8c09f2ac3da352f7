#include "tq/driver/settings.h"

#include <cstring>

#include "tq/driver/driver.h"
#include "tq/driver/visa_binding.h"

namespace tq::driver
{

namespace
{

bool inRange(const Setting &setting, ViInt16 value)
{
    switch (setting.coding) {
    case Coding::Range:
    case Coding::Reversed:
        return value >= setting.lo && value <= setting.hi;
    default:
        return true;
    }
}

uint32_t encode(const Setting &setting, ViInt16 value)
{
    switch (setting.coding) {
    case Coding::Any:
        return value != 0 ? 1 : 0;
    case Coding::One:
        return value == 1 ? 1 : 0;
    case Coding::Range:
        return static_cast<uint32_t>(value - setting.lo);
    case Coding::Reversed:
        return static_cast<uint32_t>(setting.hi - value);
    }
    return 0;
}

bool decode(const Setting &setting, uint32_t code, int16_t &value)
{
    const bool ranged = setting.coding == Coding::Range || setting.coding == Coding::Reversed;
    if (ranged && code > static_cast<uint32_t>(setting.hi - setting.lo))
        return false;
    if (setting.coding == Coding::Range)
        value = static_cast<int16_t>(setting.lo + static_cast<int>(code));
    else if (setting.coding == Coding::Reversed)
        value = static_cast<int16_t>(setting.hi - static_cast<int>(code));
    else
        value = static_cast<int16_t>(code);
    return true;
}

ViStatus readRegister(const RegisterWindow &w, ViBusAddress offset, unsigned width, uint32_t &value)
{
    const visa::FunctionTable &v = visa::visa();
    if (width == 2) {
        ViUInt16 half = 0;
        const ViStatus status = v.viIn16(w.vi, w.space, w.base + offset, &half);
        if (status >= VI_SUCCESS)
            value = half;
        return status;
    }
    ViUInt32 word = 0;
    const ViStatus status = v.viIn32(w.vi, w.space, w.base + offset, &word);
    if (status >= VI_SUCCESS)
        value = word;
    return status;
}

ViStatus writeRegister(const RegisterWindow &w, ViBusAddress offset, unsigned width, uint32_t value)
{
    const visa::FunctionTable &v = visa::visa();
    if (width == 2)
        return v.viOut16(w.vi, w.space, w.base + offset, static_cast<ViUInt16>(value));
    return v.viOut32(w.vi, w.space, w.base + offset, value);
}

ViStatus writeField(const SettingTarget &t, const FieldRow &row, uint32_t code)
{
    const FieldPlace p = placeOf(row, t.index);
    uint32_t word = 0;
    const ViStatus status = readRegister(t.window, p.offset, row.width, word);
    if (status < VI_SUCCESS)
        return status;
    word = (word & ~(p.mask << p.shift)) | ((code & p.mask) << p.shift);
    return writeRegister(t.window, p.offset, row.width, word);
}

bool onBoard(const SettingTarget &t, const Setting &setting)
{
    return !t.session->simulated() && setting.field.width != 0;
}

} // namespace

FieldPlace placeOf(const FieldRow &row, int i)
{
    const unsigned registerBits = 8u * row.width;
    const unsigned stride = row.stride ? row.stride : row.bits;
    const unsigned bit = row.first + stride * static_cast<unsigned>(i);
    const uint32_t mask = row.bits >= 32 ? 0xFFFFFFFFu : (1u << row.bits) - 1;
    return {row.offset + row.width * static_cast<ViBusAddress>(bit / registerBits), mask, bit % registerBits};
}

ViStatus setSetting(const SettingTarget &t, const Setting &setting, ViInt16 value)
{
    if (!t.session)
        return VI_ERROR_INV_OBJECT;
    if (t.index < 0 || !inRange(setting, value))
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(t, setting)) {
        const ViStatus status = writeField(t, setting.field, encode(setting, value));
        if (status < VI_SUCCESS)
            return status;
    }
    if (t.stored)
        *t.stored = value;
    return VI_SUCCESS;
}

ViStatus changeSetting(const SettingTarget &t, const Setting &setting, ViInt16 value, bool &changed)
{
    changed = false;
    if (!t.session)
        return VI_ERROR_INV_OBJECT;
    if (t.index < 0 || !inRange(setting, value))
        return VI_ERROR_INV_PARAMETER;
    if (t.stored && *t.stored == value)
        return VI_SUCCESS;
    const ViStatus status = setSetting(t, setting, value);
    changed = status >= VI_SUCCESS;
    return status;
}

ViStatus readSetting(const SettingTarget &t, const Setting &setting, int16_t &value)
{
    if (!t.session)
        return VI_ERROR_INV_OBJECT;
    if (t.index < 0)
        return VI_ERROR_INV_PARAMETER;
    if (!onBoard(t, setting)) {
        value = t.stored ? *t.stored : 0;
        return VI_SUCCESS;
    }
    const FieldPlace p = placeOf(setting.field, t.index);
    uint32_t word = 0;
    const ViStatus status = readRegister(t.window, p.offset, setting.field.width, word);
    if (status < VI_SUCCESS)
        return status;
    int16_t v = 0;
    if (!decode(setting, (word >> p.shift) & p.mask, v))
        return VI_ERROR_INV_PARAMETER;
    if (t.stored)
        *t.stored = v;
    value = v;
    return VI_SUCCESS;
}

ViStatus setName(const Session *s, char *field, size_t size, ViConstString name)
{
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!field || !name || strnlen(name, size) >= size)
        return VI_ERROR_INV_PARAMETER;
    copyName(field, size, name);
    return VI_SUCCESS;
}

ViStatus getName(const Session *s, const char *field, size_t size, ViChar *name)
{
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!field || !name)
        return VI_ERROR_INV_PARAMETER;
    copyName(name, size, field);
    return VI_SUCCESS;
}

} // namespace tq::driver
