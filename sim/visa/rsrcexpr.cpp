#include "rsrcexpr.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "attributes.h"

namespace tq::sim {

namespace {

constexpr int kMaxDepth = 100;

void addChar(uint64_t (&set)[4], unsigned char c)
{
    auto put = [&](unsigned char b) { set[b >> 6] |= uint64_t(1) << (b & 63); };
    put(c);
    put(static_cast<unsigned char>(std::tolower(c)));
    put(static_cast<unsigned char>(std::toupper(c)));
}

bool hasChar(const uint64_t (&set)[4], unsigned char c) { return (set[c >> 6] >> (c & 63)) & 1; }

} // namespace

// Thompson construction: each piece of the expression becomes a fragment of
// states with dangling exits, so matching runs in time proportional to the
// name length times the expression size whatever the expression looks like.
class PatternCompiler {
public:
    PatternCompiler(const std::string &text, std::vector<NamePattern::State> &states) : s_(text), st_(states) {}

    ViStatus run(int &start)
    {
        Frag f;
        if (!alternation(f, 0) || pos_ != s_.size())
            return VI_ERROR_INV_EXPR;
        int accept = newState(NamePattern::State::Accept);
        patch(f.outs, accept);
        start = f.start;
        return VI_SUCCESS;
    }

private:
    struct Frag {
        int start = -1;
        std::vector<std::pair<int, int>> outs; // (state, 0 = out, 1 = out2)
    };

    int newState(NamePattern::State::Kind kind)
    {
        NamePattern::State st;
        st.kind = kind;
        st_.push_back(st);
        return static_cast<int>(st_.size() - 1);
    }

    void patch(const std::vector<std::pair<int, int>> &outs, int target)
    {
        for (auto [i, which] : outs)
            (which ? st_[i].out2 : st_[i].out) = target;
    }

    Frag epsilon()
    {
        int e = newState(NamePattern::State::Split);
        return Frag{e, {{e, 0}}};
    }

    bool alternation(Frag &out, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        Frag left;
        if (!sequence(left, depth))
            return false;
        while (pos_ < s_.size() && s_[pos_] == '|') {
            ++pos_;
            Frag right;
            if (!sequence(right, depth))
                return false;
            int split = newState(NamePattern::State::Split);
            st_[split].out = left.start;
            st_[split].out2 = right.start;
            left.start = split;
            left.outs.insert(left.outs.end(), right.outs.begin(), right.outs.end());
        }
        out = std::move(left);
        return true;
    }

    bool sequence(Frag &out, int depth)
    {
        Frag seq;
        bool any = false;
        while (pos_ < s_.size() && s_[pos_] != '|' && s_[pos_] != ')') {
            Frag item;
            if (!atom(item, depth))
                return false;
            while (pos_ < s_.size() && (s_[pos_] == '*' || s_[pos_] == '+')) {
                int split = newState(NamePattern::State::Split);
                st_[split].out = item.start;
                patch(item.outs, split);
                if (s_[pos_] == '*')
                    item.start = split;
                item.outs = {{split, 1}};
                ++pos_;
            }
            if (!any) {
                seq = std::move(item);
                any = true;
            } else {
                patch(seq.outs, item.start);
                seq.outs = std::move(item.outs);
            }
        }
        out = any ? std::move(seq) : epsilon();
        return true;
    }

    bool atom(Frag &out, int depth)
    {
        char c = s_[pos_];
        if (c == '*' || c == '+')
            return false; // nothing to repeat
        if (c == '(') {
            ++pos_;
            if (!alternation(out, depth + 1) || pos_ >= s_.size() || s_[pos_] != ')')
                return false;
            ++pos_;
            return true;
        }
        int st = newState(NamePattern::State::Char);
        out = Frag{st, {{st, 0}}};
        auto &set = st_[st].set;
        if (c == '?') {
            ++pos_;
            for (auto &w : set)
                w = ~uint64_t(0);
            return true;
        }
        if (c == '[')
            return charClass(st);
        if (c == '\\') {
            if (pos_ + 1 >= s_.size())
                return false;
            addChar(set, static_cast<unsigned char>(s_[pos_ + 1]));
            pos_ += 2;
            return true;
        }
        addChar(set, static_cast<unsigned char>(c));
        ++pos_;
        return true;
    }

    bool charClass(int st)
    {
        ++pos_; // '['
        bool negate = pos_ < s_.size() && s_[pos_] == '^';
        if (negate)
            ++pos_;
        uint64_t set[4] = {};
        bool any = false;
        while (pos_ < s_.size() && s_[pos_] != ']') {
            unsigned char lo = static_cast<unsigned char>(s_[pos_]);
            if (lo == '\\') {
                if (++pos_ >= s_.size())
                    return false;
                lo = static_cast<unsigned char>(s_[pos_]);
            }
            ++pos_;
            unsigned char hi = lo;
            if (pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']') {
                hi = static_cast<unsigned char>(s_[pos_ + 1]);
                if (hi == '\\') {
                    if (pos_ + 2 >= s_.size())
                        return false;
                    hi = static_cast<unsigned char>(s_[pos_ + 2]);
                    ++pos_;
                }
                pos_ += 2;
                if (hi < lo)
                    return false;
            }
            for (unsigned v = lo; v <= hi; ++v)
                addChar(set, static_cast<unsigned char>(v));
            any = true;
        }
        if (pos_ >= s_.size() || !any)
            return false;
        ++pos_; // ']'
        for (int i = 0; i < 4; ++i)
            st_[st].set[i] = negate ? ~set[i] : set[i];
        return true;
    }

    const std::string &s_;
    std::vector<NamePattern::State> &st_;
    size_t pos_ = 0;
};

ViStatus NamePattern::compile(const std::string &text)
{
    std::vector<State> states;
    int start = -1;
    PatternCompiler c(text, states);
    ViStatus status = c.run(start);
    if (status != VI_SUCCESS)
        return status;
    states_ = std::move(states);
    start_ = start;
    return VI_SUCCESS;
}

bool NamePattern::matches(const std::string &name) const
{
    if (start_ < 0)
        return false;
    const size_t n = states_.size();
    std::vector<int> current, next;
    std::vector<size_t> mark(n, SIZE_MAX);
    size_t step = 0;
    // Adds a state and everything reachable from it without reading.
    auto add = [&](std::vector<int> &list, int first) {
        std::vector<int> stack{first};
        while (!stack.empty()) {
            int s = stack.back();
            stack.pop_back();
            if (s < 0 || mark[s] == step)
                continue;
            mark[s] = step;
            if (states_[s].kind == State::Split) {
                stack.push_back(states_[s].out2);
                stack.push_back(states_[s].out);
            } else
                list.push_back(s);
        }
    };
    add(current, start_);
    for (char ch : name) {
        ++step;
        next.clear();
        for (int s : current)
            if (states_[s].kind == State::Char && hasChar(states_[s].set, static_cast<unsigned char>(ch)))
                add(next, states_[s].out);
        current.swap(next);
        if (current.empty())
            return false;
    }
    for (int s : current)
        if (states_[s].kind == State::Accept)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Attribute clause

struct ResourceExpression::Node {
    enum Kind { Or, And, Not, Compare } kind = Compare;
    std::unique_ptr<Node> left, right;
    // Compare
    ViAttr attr = 0;
    enum Op { Eq, Ne, Lt, Gt, Le, Ge } op = Eq;
    bool textValue = false;
    int64_t number = 0;
    NamePattern pattern;
};

namespace {

class ClauseParser {
public:
    explicit ClauseParser(std::string text) : s_(std::move(text)) {}

    ViStatus run(std::unique_ptr<ResourceExpression::Node> &out)
    {
        if (!orExpr(out, 0))
            return VI_ERROR_INV_EXPR;
        skipSpace();
        return pos_ == s_.size() ? VI_SUCCESS : VI_ERROR_INV_EXPR;
    }

private:
    using Node = ResourceExpression::Node;

    void skipSpace()
    {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }

    bool take(const char *token)
    {
        skipSpace();
        size_t n = strlen(token);
        if (s_.compare(pos_, n, token) != 0)
            return false;
        pos_ += n;
        return true;
    }

    bool orExpr(std::unique_ptr<Node> &out, int depth)
    {
        if (depth > kMaxDepth || !andExpr(out, depth))
            return false;
        while (take("||")) {
            auto n = std::make_unique<Node>();
            n->kind = Node::Or;
            n->left = std::move(out);
            if (!andExpr(n->right, depth))
                return false;
            out = std::move(n);
        }
        return true;
    }

    bool andExpr(std::unique_ptr<Node> &out, int depth)
    {
        if (!unary(out, depth))
            return false;
        while (take("&&")) {
            auto n = std::make_unique<Node>();
            n->kind = Node::And;
            n->left = std::move(out);
            if (!unary(n->right, depth))
                return false;
            out = std::move(n);
        }
        return true;
    }

    bool unary(std::unique_ptr<Node> &out, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '!' && (pos_ + 1 >= s_.size() || s_[pos_ + 1] != '=')) {
            ++pos_;
            auto n = std::make_unique<Node>();
            n->kind = Node::Not;
            if (!unary(n->left, depth + 1))
                return false;
            out = std::move(n);
            return true;
        }
        if (take("(")) {
            if (!orExpr(out, depth + 1))
                return false;
            return take(")");
        }
        return comparison(out);
    }

    bool comparison(std::unique_ptr<Node> &out)
    {
        skipSpace();
        size_t start = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
            ++pos_;
        const AttributeInfo *info = findAttributeByName(s_.substr(start, pos_ - start));
        if (!info)
            return false;
        auto n = std::make_unique<Node>();
        n->attr = info->id;
        if (take("=="))
            n->op = Node::Eq;
        else if (take("!="))
            n->op = Node::Ne;
        else if (take("<="))
            n->op = Node::Le;
        else if (take(">="))
            n->op = Node::Ge;
        else if (take("<"))
            n->op = Node::Lt;
        else if (take(">"))
            n->op = Node::Gt;
        else
            return false;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '"') {
            size_t end = s_.find('"', pos_ + 1);
            if (end == std::string::npos || (n->op != Node::Eq && n->op != Node::Ne))
                return false;
            if (n->pattern.compile(s_.substr(pos_ + 1, end - pos_ - 1)) != VI_SUCCESS)
                return false;
            n->textValue = true;
            pos_ = end + 1;
        } else {
            const char *begin = s_.c_str() + pos_;
            char *endp = nullptr;
            errno = 0;
            long long v = strtoll(begin, &endp, 0);
            if (endp == begin || errno != 0)
                return false;
            n->number = v;
            pos_ += static_cast<size_t>(endp - begin);
        }
        out = std::move(n);
        return true;
    }

    const std::string s_;
    size_t pos_ = 0;
};

bool evaluate(const ResourceExpression::Node &n, const AttributeLookup &lookup)
{
    using Node = ResourceExpression::Node;
    switch (n.kind) {
    case Node::Or:
        return evaluate(*n.left, lookup) || evaluate(*n.right, lookup);
    case Node::And:
        return evaluate(*n.left, lookup) && evaluate(*n.right, lookup);
    case Node::Not:
        return !evaluate(*n.left, lookup);
    case Node::Compare:
        break;
    }
    AttributeValue v;
    if (!lookup(n.attr, v) || v.isText != n.textValue)
        return false;
    if (n.textValue) {
        bool m = n.pattern.matches(v.text);
        return n.op == Node::Eq ? m : !m;
    }
    switch (n.op) {
    case Node::Eq: return v.number == n.number;
    case Node::Ne: return v.number != n.number;
    case Node::Lt: return v.number < n.number;
    case Node::Gt: return v.number > n.number;
    case Node::Le: return v.number <= n.number;
    case Node::Ge: return v.number >= n.number;
    }
    return false;
}

} // namespace

ResourceExpression::ResourceExpression() = default;
ResourceExpression::~ResourceExpression() = default;
ResourceExpression::ResourceExpression(ResourceExpression &&) noexcept = default;
ResourceExpression &ResourceExpression::operator=(ResourceExpression &&) noexcept = default;

ViStatus ResourceExpression::compile(const std::string &text)
{
    // The clause starts at the first '{' that is not escaped and not inside a
    // character class.
    size_t brace = std::string::npos;
    bool inClass = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (inClass) {
            inClass = c != ']';
            continue;
        }
        if (c == '[')
            inClass = true;
        else if (c == '{') {
            brace = i;
            break;
        }
    }
    std::string pattern = text.substr(0, brace);
    while (!pattern.empty() && std::isspace(static_cast<unsigned char>(pattern.back())))
        pattern.pop_back();
    if (pattern.empty())
        return VI_ERROR_INV_EXPR;
    NamePattern p;
    ViStatus status = p.compile(pattern);
    if (status != VI_SUCCESS)
        return status;
    std::unique_ptr<Node> clause;
    if (brace != std::string::npos) {
        size_t close = text.find_last_of('}');
        if (close == std::string::npos || close < brace)
            return VI_ERROR_INV_EXPR;
        for (size_t i = close + 1; i < text.size(); ++i)
            if (!std::isspace(static_cast<unsigned char>(text[i])))
                return VI_ERROR_INV_EXPR;
        ClauseParser parser(text.substr(brace + 1, close - brace - 1));
        status = parser.run(clause);
        if (status != VI_SUCCESS)
            return status;
    }
    pattern_ = std::move(p);
    clause_ = std::move(clause);
    return VI_SUCCESS;
}

bool ResourceExpression::matchesAttributes(const AttributeLookup &lookup) const
{
    return !clause_ || evaluate(*clause_, lookup);
}

} // namespace tq::sim
