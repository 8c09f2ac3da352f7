#include <cstring>
#include <strings.h>

#include "library.h"

namespace tq::sim {

namespace {

// Window access states of VI_ATTR_WIN_ACCESS.
constexpr ViUInt16 kNotMapped = 1;
constexpr ViUInt16 kDereference = 3;
// VISA implementation identity of this library.
constexpr ViUInt16 kImplementationManfId = 0x0FFF;
constexpr ViUInt32 kImplementationVersion = 0x00100000;

#define A(name, type) {name, #name, AttrType::type}
const AttributeInfo kAttributes[] = {
    A(VI_ATTR_RSRC_CLASS, Text),
    A(VI_ATTR_RSRC_NAME, Text),
    A(VI_ATTR_RSRC_IMPL_VERSION, U32),
    A(VI_ATTR_RSRC_LOCK_STATE, U32),
    A(VI_ATTR_RSRC_SPEC_VERSION, U32),
    A(VI_ATTR_RSRC_MANF_NAME, Text),
    A(VI_ATTR_RSRC_MANF_ID, U16),
    A(VI_ATTR_RM_SESSION, U32),
    A(VI_ATTR_TMO_VALUE, U32),
    A(VI_ATTR_MAX_QUEUE_LENGTH, U32),
    A(VI_ATTR_USER_DATA_32, U32),
    A(VI_ATTR_USER_DATA_64, U64),
    A(VI_ATTR_INTF_TYPE, U16),
    A(VI_ATTR_INTF_NUM, U16),
    A(VI_ATTR_INTF_INST_NAME, Text),
    A(VI_ATTR_MANF_ID, U16),
    A(VI_ATTR_MODEL_CODE, U16),
    A(VI_ATTR_MANF_NAME, Text),
    A(VI_ATTR_MODEL_NAME, Text),
    A(VI_ATTR_SLOT, I16),
    A(VI_ATTR_PXI_CHASSIS, I16),
    A(VI_ATTR_PXI_BUS_NUM, U16),
    A(VI_ATTR_PXI_DEV_NUM, U16),
    A(VI_ATTR_PXI_FUNC_NUM, U16),
    A(VI_ATTR_PXI_SLOTPATH, Text),
    A(VI_ATTR_PXI_MEM_TYPE_BAR0, U16),
    A(VI_ATTR_PXI_MEM_TYPE_BAR1, U16),
    A(VI_ATTR_PXI_MEM_TYPE_BAR2, U16),
    A(VI_ATTR_PXI_MEM_TYPE_BAR3, U16),
    A(VI_ATTR_PXI_MEM_TYPE_BAR4, U16),
    A(VI_ATTR_PXI_MEM_TYPE_BAR5, U16),
    A(VI_ATTR_PXI_MEM_BASE_BAR0, U32),
    A(VI_ATTR_PXI_MEM_BASE_BAR1, U32),
    A(VI_ATTR_PXI_MEM_BASE_BAR2, U32),
    A(VI_ATTR_PXI_MEM_BASE_BAR3, U32),
    A(VI_ATTR_PXI_MEM_BASE_BAR4, U32),
    A(VI_ATTR_PXI_MEM_BASE_BAR5, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR0, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR1, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR2, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR3, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR4, U32),
    A(VI_ATTR_PXI_MEM_SIZE_BAR5, U32),
    A(VI_ATTR_SRC_INCREMENT, I32),
    A(VI_ATTR_DEST_INCREMENT, I32),
    A(VI_ATTR_SRC_BYTE_ORDER, U16),
    A(VI_ATTR_DEST_BYTE_ORDER, U16),
    A(VI_ATTR_WIN_BYTE_ORDER, U16),
    A(VI_ATTR_SRC_ACCESS_PRIV, U16),
    A(VI_ATTR_DEST_ACCESS_PRIV, U16),
    A(VI_ATTR_WIN_ACCESS_PRIV, U16),
    A(VI_ATTR_DMA_ALLOW_EN, Boolean),
    A(VI_ATTR_WIN_ACCESS, U16),
    A(VI_ATTR_WIN_BASE_ADDR_32, U32),
    A(VI_ATTR_WIN_SIZE_32, U32),
    A(VI_ATTR_WIN_BASE_ADDR_64, U64),
    A(VI_ATTR_WIN_SIZE_64, U64),
    A(VI_ATTR_EVENT_TYPE, U32),
    A(VI_ATTR_PXI_RECV_INTR_SEQ, I16),
    A(VI_ATTR_PXI_RECV_INTR_DATA, U32),
    A(VI_ATTR_TERMCHAR, U8),
    A(VI_ATTR_TERMCHAR_EN, Boolean),
    A(VI_ATTR_ASRL_BAUD, U32),
    A(VI_ATTR_ASRL_DATA_BITS, U16),
    A(VI_ATTR_ASRL_PARITY, U16),
    A(VI_ATTR_ASRL_STOP_BITS, U16),
    A(VI_ATTR_ASRL_FLOW_CNTRL, U16),
    A(VI_ATTR_ASRL_END_IN, U16),
    A(VI_ATTR_ASRL_END_OUT, U16),
};
#undef A

// A value before it is written at its type's size.
struct Value {
    bool text = false;
    int64_t number = 0;
    std::string str;
};

bool barIndex(ViAttr attr, ViAttr first, int &bar)
{
    if (attr < first || attr > first + 5)
        return false;
    bar = static_cast<int>(attr - first);
    return true;
}

bool read(const Object &o, ViAttr attr, Value &v)
{
    auto num = [&](int64_t n) {
        v.number = n;
        return true;
    };
    auto str = [&](std::string s) {
        v.text = true;
        v.str = std::move(s);
        return true;
    };
    using K = Object::Kind;
    if (o.kind == K::Event) {
        switch (attr) {
        case VI_ATTR_EVENT_TYPE: return num(o.eventType);
        case VI_ATTR_PXI_RECV_INTR_SEQ: return num(o.event.sequence);
        case VI_ATTR_PXI_RECV_INTR_DATA: return num(o.event.data);
        }
        return false;
    }
    if (o.kind == K::FindList)
        return false;

    switch (attr) {
    case VI_ATTR_RSRC_NAME: return str(o.name);
    case VI_ATTR_RSRC_CLASS:
        return str(o.kind == K::Instrument || o.kind == K::Serial ? "INSTR" : o.kind == K::Memory ? "MEMACC" : "");
    case VI_ATTR_RM_SESSION: return num(o.owner);
    case VI_ATTR_RSRC_SPEC_VERSION: return num(VI_SPEC_VERSION);
    case VI_ATTR_RSRC_IMPL_VERSION: return num(kImplementationVersion);
    case VI_ATTR_RSRC_MANF_ID: return num(kImplementationManfId);
    case VI_ATTR_RSRC_MANF_NAME: return str("tqdaq simulated VISA");
    case VI_ATTR_RSRC_LOCK_STATE: return num(VI_NO_LOCK);
    case VI_ATTR_TMO_VALUE: return num(o.timeout);
    case VI_ATTR_MAX_QUEUE_LENGTH: return num(o.maxQueueLength);
    case VI_ATTR_USER_DATA_32: return num(static_cast<ViUInt32>(o.userData));
    case VI_ATTR_USER_DATA_64: return num(static_cast<int64_t>(o.userData));
    }
    if (o.kind == K::ResourceManager || o.kind == K::Service)
        return false;
    if (o.kind == K::Serial) {
        switch (attr) {
        case VI_ATTR_INTF_TYPE: return num(VI_INTF_ASRL);
        case VI_ATTR_INTF_NUM: return num(o.interfaceNumber);
        case VI_ATTR_INTF_INST_NAME: return str("ASRL" + std::to_string(o.interfaceNumber) + " (simulated)");
        case VI_ATTR_TERMCHAR: return num(o.termChar);
        case VI_ATTR_TERMCHAR_EN: return num(o.termCharEnabled);
        case VI_ATTR_ASRL_BAUD: return num(o.baud);
        case VI_ATTR_ASRL_DATA_BITS: return num(o.dataBits);
        case VI_ATTR_ASRL_PARITY: return num(o.parity);
        case VI_ATTR_ASRL_STOP_BITS: return num(o.stopBits);
        case VI_ATTR_ASRL_FLOW_CNTRL: return num(o.flowControl);
        case VI_ATTR_ASRL_END_IN: return num(o.endIn);
        case VI_ATTR_ASRL_END_OUT: return num(o.endOut);
        }
        return false;
    }

    const Instrument *inst = o.instrument.get();
    switch (attr) {
    case VI_ATTR_INTF_TYPE: return num(VI_INTF_PXI);
    case VI_ATTR_INTF_NUM: return num(inst ? inst->config().bus : o.interfaceNumber);
    case VI_ATTR_INTF_INST_NAME:
        return str("PXI" + std::to_string(inst ? inst->config().bus : o.interfaceNumber) + " (simulated)");
    }
    if (o.kind == K::Memory) {
        switch (attr) {
        case VI_ATTR_WIN_ACCESS: return num(o.mapped ? kDereference : kNotMapped);
        case VI_ATTR_WIN_BASE_ADDR_32: return num(o.mapped ? static_cast<ViUInt32>(o.windowBase) : 0);
        case VI_ATTR_WIN_SIZE_32: return num(o.mapped ? static_cast<ViUInt32>(o.windowSize) : 0);
        case VI_ATTR_WIN_BASE_ADDR_64: return num(o.mapped ? static_cast<int64_t>(o.windowBase) : 0);
        case VI_ATTR_WIN_SIZE_64: return num(o.mapped ? static_cast<int64_t>(o.windowSize) : 0);
        case VI_ATTR_WIN_BYTE_ORDER: return num(o.winByteOrder);
        case VI_ATTR_WIN_ACCESS_PRIV: return num(o.winAccessPriv);
        }
        return false;
    }
    if (!inst)
        return false;
    const InstrumentConfig &c = inst->config();
    int bar = 0;
    if (barIndex(attr, VI_ATTR_PXI_MEM_TYPE_BAR0, bar))
        return num(inst->windowSize(static_cast<ViUInt16>(VI_PXI_BAR0_SPACE + bar))
                       ? VI_PXI_ADDR_MEM
                       : VI_PXI_ADDR_NONE);
    if (barIndex(attr, VI_ATTR_PXI_MEM_SIZE_BAR0, bar))
        return num(static_cast<int64_t>(
            inst->windowSize(static_cast<ViUInt16>(VI_PXI_BAR0_SPACE + bar))));
    if (barIndex(attr, VI_ATTR_PXI_MEM_BASE_BAR0, bar)) {
        // A plausible physical address: one 1 MiB region per device and BAR.
        bool present = inst->windowSize(static_cast<ViUInt16>(VI_PXI_BAR0_SPACE + bar));
        return num(present ? 0xE0000000u + (static_cast<uint32_t>(c.bus & 0xF) << 24) +
                                 (static_cast<uint32_t>(c.device) << 19) + (static_cast<uint32_t>(bar) << 16)
                           : 0);
    }
    switch (attr) {
    case VI_ATTR_MANF_ID: return num(c.manufacturerId);
    case VI_ATTR_MODEL_CODE: return num(c.modelCode);
    case VI_ATTR_MANF_NAME: return str(c.manufacturerName);
    case VI_ATTR_MODEL_NAME: return str(c.modelName);
    case VI_ATTR_SLOT: return num(c.slot);
    case VI_ATTR_PXI_CHASSIS: return num(c.chassis);
    case VI_ATTR_PXI_BUS_NUM: return num(c.bus);
    case VI_ATTR_PXI_DEV_NUM: return num(c.device);
    case VI_ATTR_PXI_FUNC_NUM: return num(c.function);
    case VI_ATTR_PXI_SLOTPATH: return str(std::to_string(c.device) + "." + std::to_string(c.function));
    case VI_ATTR_SRC_INCREMENT: return num(o.srcIncrement);
    case VI_ATTR_DEST_INCREMENT: return num(o.destIncrement);
    case VI_ATTR_SRC_BYTE_ORDER: return num(o.srcByteOrder);
    case VI_ATTR_DEST_BYTE_ORDER: return num(o.destByteOrder);
    case VI_ATTR_WIN_BYTE_ORDER: return num(o.winByteOrder);
    case VI_ATTR_SRC_ACCESS_PRIV: return num(o.srcAccessPriv);
    case VI_ATTR_DEST_ACCESS_PRIV: return num(o.destAccessPriv);
    case VI_ATTR_WIN_ACCESS_PRIV: return num(o.winAccessPriv);
    case VI_ATTR_DMA_ALLOW_EN: return num(o.dmaAllowed);
    }
    return false;
}

} // namespace

const AttributeInfo *findAttribute(ViAttr id)
{
    for (const AttributeInfo &a : kAttributes)
        if (a.id == id)
            return &a;
    return nullptr;
}

const AttributeInfo *findAttributeByName(const std::string &name)
{
    for (const AttributeInfo &a : kAttributes)
        if (strcasecmp(a.name, name.c_str()) == 0)
            return &a;
    // The names without a width stand for their 64-bit forms here, as on a 64-bit VISA.
    if (strcasecmp(name.c_str(), "VI_ATTR_USER_DATA") == 0)
        return findAttribute(VI_ATTR_USER_DATA_64);
    return nullptr;
}

size_t attributeSize(AttrType type)
{
    switch (type) {
    case AttrType::U8:
        return 1;
    case AttrType::U16:
    case AttrType::I16:
    case AttrType::Boolean:
        return 2;
    case AttrType::U32:
    case AttrType::I32:
        return 4;
    case AttrType::U64:
        return 8;
    case AttrType::Text:
        return 256;
    }
    return 0;
}

ViStatus getObjectAttribute(const Object &o, ViAttr attr, void *out)
{
    const AttributeInfo *info = findAttribute(attr);
    Value v;
    if (!info || !read(o, attr, v))
        return VI_ERROR_NSUP_ATTR;
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    // Written at the attribute's own size: a 16-bit attribute read into a
    // wider variable leaves its upper bytes alone, as on any VISA.
    switch (info->type) {
    case AttrType::U8: {
        ViUInt8 x = static_cast<ViUInt8>(v.number);
        memcpy(out, &x, sizeof x);
        break;
    }
    case AttrType::U16:
    case AttrType::Boolean: {
        ViUInt16 x = static_cast<ViUInt16>(v.number);
        memcpy(out, &x, sizeof x);
        break;
    }
    case AttrType::I16: {
        ViInt16 x = static_cast<ViInt16>(v.number);
        memcpy(out, &x, sizeof x);
        break;
    }
    case AttrType::U32:
    case AttrType::I32: {
        ViUInt32 x = static_cast<ViUInt32>(v.number);
        memcpy(out, &x, sizeof x);
        break;
    }
    case AttrType::U64: {
        ViUInt64 x = static_cast<ViUInt64>(v.number);
        memcpy(out, &x, sizeof x);
        break;
    }
    case AttrType::Text: {
        size_t n = v.str.size() < 255 ? v.str.size() : 255;
        memcpy(out, v.str.data(), n);
        static_cast<char *>(out)[n] = '\0';
        break;
    }
    }
    return VI_SUCCESS;
}

ViStatus setObjectAttribute(Object &o, ViAttr attr, ViAttrState value)
{
    const AttributeInfo *info = findAttribute(attr);
    Value current;
    if (!info || !read(o, attr, current))
        return VI_ERROR_NSUP_ATTR;
    auto u16 = [&](ViUInt16 &field, std::initializer_list<ViUInt16> allowed) {
        for (ViUInt16 a : allowed)
            if (value == a) {
                field = a;
                return VI_SUCCESS;
            }
        return VI_ERROR_NSUP_ATTR_STATE;
    };
    switch (attr) {
    case VI_ATTR_TMO_VALUE:
        o.timeout = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_MAX_QUEUE_LENGTH:
        if (value == 0 || value > 0xFFFF)
            return VI_ERROR_NSUP_ATTR_STATE;
        o.maxQueueLength = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_USER_DATA_32:
        o.userData = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_USER_DATA_64:
        o.userData = value;
        return VI_SUCCESS;
    case VI_ATTR_SRC_INCREMENT:
    case VI_ATTR_DEST_INCREMENT:
        // 1 steps through the registers, 0 reads or writes one register again and again.
        if (value != 0 && value != 1)
            return VI_ERROR_NSUP_ATTR_STATE;
        (attr == VI_ATTR_SRC_INCREMENT ? o.srcIncrement : o.destIncrement) = static_cast<ViInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_SRC_BYTE_ORDER: return u16(o.srcByteOrder, {VI_LITTLE_ENDIAN});
    case VI_ATTR_DEST_BYTE_ORDER: return u16(o.destByteOrder, {VI_LITTLE_ENDIAN});
    case VI_ATTR_WIN_BYTE_ORDER: return u16(o.winByteOrder, {VI_LITTLE_ENDIAN});
    case VI_ATTR_SRC_ACCESS_PRIV: return u16(o.srcAccessPriv, {VI_DATA_PRIV});
    case VI_ATTR_DEST_ACCESS_PRIV: return u16(o.destAccessPriv, {VI_DATA_PRIV});
    case VI_ATTR_WIN_ACCESS_PRIV: return u16(o.winAccessPriv, {VI_DATA_PRIV});
    case VI_ATTR_DMA_ALLOW_EN: return u16(o.dmaAllowed, {VI_FALSE, VI_TRUE});
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF)
            return VI_ERROR_NSUP_ATTR_STATE;
        o.termChar = static_cast<ViUInt8>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN: return u16(o.termCharEnabled, {VI_FALSE, VI_TRUE});
    case VI_ATTR_ASRL_BAUD:
        if (value == 0 || value > 0xFFFFFFFFu)
            return VI_ERROR_NSUP_ATTR_STATE;
        o.baud = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_ASRL_DATA_BITS: return u16(o.dataBits, {5, 6, 7, 8});
    case VI_ATTR_ASRL_PARITY:
        return u16(o.parity, {VI_ASRL_PAR_NONE, VI_ASRL_PAR_ODD, VI_ASRL_PAR_EVEN, VI_ASRL_PAR_MARK, VI_ASRL_PAR_SPACE});
    case VI_ATTR_ASRL_STOP_BITS: return u16(o.stopBits, {VI_ASRL_STOP_ONE, VI_ASRL_STOP_ONE5, VI_ASRL_STOP_TWO});
    case VI_ATTR_ASRL_FLOW_CNTRL:
        return u16(o.flowControl, {VI_ASRL_FLOW_NONE, VI_ASRL_FLOW_XON_XOFF, VI_ASRL_FLOW_RTS_CTS});
    case VI_ATTR_ASRL_END_IN: return u16(o.endIn, {VI_ASRL_END_NONE, VI_ASRL_END_TERMCHAR});
    case VI_ATTR_ASRL_END_OUT: return u16(o.endOut, {VI_ASRL_END_NONE});
    }
    return VI_ERROR_ATTR_READONLY;
}

bool objectAttribute(const Object &o, ViAttr attr, AttributeValue &value)
{
    Value v;
    if (!findAttribute(attr) || !read(o, attr, v))
        return false;
    value.isText = v.text;
    value.number = v.number;
    value.text = v.str;
    return true;
}

bool instrumentAttribute(const Instrument &inst, ViAttr attr, AttributeValue &value)
{
    Object o;
    o.kind = Object::Kind::Instrument;
    o.name = inst.name();
    o.instrument = std::shared_ptr<Instrument>(std::shared_ptr<Instrument>(), const_cast<Instrument *>(&inst));
    return objectAttribute(o, attr, value);
}

} // namespace tq::sim
