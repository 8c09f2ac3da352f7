// The attributes this library knows: their names, value types and sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tq/visatype.h"

namespace tq::sim {

enum class AttrType : uint8_t { U8, U16, I16, U32, I32, U64, Boolean, Text };

struct AttributeInfo {
    ViAttr id;
    const char *name;
    AttrType type;
};

const AttributeInfo *findAttribute(ViAttr id);
const AttributeInfo *findAttributeByName(const std::string &name);
// Bytes that viGetAttribute writes for the type (text: up to 256).
size_t attributeSize(AttrType type);

} // namespace tq::sim
