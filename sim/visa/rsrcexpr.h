// VISA resource expressions, as viFindRsrc takes them: a regular expression
// over resource names, optionally followed by an attribute clause in braces,
// for example "PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x718 && VI_ATTR_MANF_ID == 0x3c5a}".
//
// The regular expression knows '?' (any one character), '*' and '+' (zero or
// more, one or more of what precedes), character classes "[a-z]" and
// "[^...]", alternatives 'a|b', groups "(...)" and '\' to take the next
// character as it is. It must match the whole name, without regard to case.
// The attribute clause compares attributes with ==, !=, <, >, <=, >=
// against numbers (decimal or 0x hexadecimal) or quoted regular expressions
// (== and != only), combined with &&, ||, ! and parentheses. A resource
// that lacks an attribute fails every comparison of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tq/visatype.h"

namespace tq::sim {

// A compiled regular expression of the resource-name language.
class NamePattern {
public:
    // VI_ERROR_INV_EXPR for a malformed expression.
    ViStatus compile(const std::string &text);
    bool matches(const std::string &name) const;

private:
    struct State {
        enum Kind : uint8_t { Char, Split, Accept } kind = Char;
        uint64_t set[4] = {}; // the 256 byte values this state accepts
        int out = -1;
        int out2 = -1;
    };
    std::vector<State> states_;
    int start_ = -1;
    friend class PatternCompiler;
};

struct AttributeValue {
    bool isText = false;
    int64_t number = 0;
    std::string text;
};

// Answers an attribute of the resource being tested; false when it has none.
using AttributeLookup = std::function<bool(ViAttr, AttributeValue &)>;

class ResourceExpression {
public:
    ResourceExpression();
    ~ResourceExpression();
    ResourceExpression(ResourceExpression &&) noexcept;
    ResourceExpression &operator=(ResourceExpression &&) noexcept;

    ViStatus compile(const std::string &text);
    bool matchesName(const std::string &name) const { return pattern_.matches(name); }
    bool hasAttributeClause() const { return clause_ != nullptr; }
    bool matchesAttributes(const AttributeLookup &lookup) const;

    struct Node;

private:
    NamePattern pattern_;
    std::unique_ptr<Node> clause_;
};

} // namespace tq::sim
