// Scanner and parser of formula statements.
#include "formulaparse.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

#include "tq/platform/numfmt.h"

namespace tq::formula {

namespace {

// ---- Tokens -------------------------------------------------------------------

enum TokenKind {
    tEnd,
    // keywords
    tThermo,
    tUnrefThermo,
    tMulti,
    tBridge,
    tSin,
    tAsin,
    tSqrt,
    tAutocycle,
    tAutoseq,
    tMacro,
    tMax,
    tMin,
    tAverage,
    tVariance,
    tScan,
    tAlarm,
    tDeriv,
    // the rest, in the order the scanner prefers them on ties
    tSyncMode,
    tTcType,
    tIdent,
    tChanRef,
    tChanRefOpen,
    tChanRefNoDash,
    tRawRef,
    tNumber,
    tString,
    tQuote,
    tCmpOp,
    tShiftOp,
    tArrow,
    tChar,
    tUnknown,
};

const struct {
    const char *word;
    TokenKind kind;
} kKeywords[] = {
    {"thermo", tThermo},   {"unrefthermo", tUnrefThermo}, {"multi", tMulti},       {"bridge", tBridge},
    {"sin", tSin},         {"asin", tAsin},               {"sqrt", tSqrt},         {"autocycle", tAutocycle},
    {"autoseq", tAutoseq}, {"macro", tMacro},             {"max", tMax},           {"min", tMin},
    {"average", tAverage}, {"variance", tVariance},       {"scan", tScan},         {"alarm", tAlarm},
    {"deriv", tDeriv},
};

struct Token {
    TokenKind kind = tEnd;
    const char *text = nullptr; // into the statement
    size_t length = 0;
    double value = 0.0; // numbers, thermocouple types, sync modes
    char ch = 0;        // single-character tokens
};

inline bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool isWordChar(unsigned char c) { return isLetter(c) || isDigit(c) || c == '_'; }

constexpr size_t kIdentMax = 64;   // a letter and up to 63 more
constexpr size_t kStringMax = 63;  // characters between the quotes

class Scanner {
  public:
    Scanner(const char *text, size_t length) : text_(text), length_(length) {}

    // Next token; tUnknown for a character that starts none.
    Token next()
    {
        while (pos_ < length_ && (at(pos_) == ' ' || at(pos_) == '\t' || at(pos_) == '\n'))
            ++pos_;
        Token token;
        token.text = text_ + pos_;
        if (pos_ >= length_)
            return token; // tEnd
        size_t best = 0;
        TokenKind kind = tUnknown;
        auto offer = [&](size_t matched, TokenKind candidate) {
            if (matched > best) {
                best = matched;
                kind = candidate;
            }
        };
        const unsigned char c = at(pos_);
        // Rules in their order of preference: a later rule wins only with a
        // strictly longer match.
        for (const auto &keyword : kKeywords) {
            const size_t n = std::strlen(keyword.word);
            if (matchText(keyword.word, n))
                offer(n, keyword.kind);
        }
        if (matchText("sync ", 5))
            offer(5, tSyncMode);
        if (matchText("async ", 6))
            offer(6, tSyncMode);
        if (matchText("type", 4) && pos_ + 4 < length_ && std::strchr("bejknrst", at(pos_ + 4)) && at(pos_ + 4))
            offer(5, tTcType);
        if (isLetter(c)) {
            const size_t run = wordRun(pos_);
            offer(run < kIdentMax ? run : kIdentMax, tIdent);
        }
        offer(chanRef(), tChanRef);
        offer(chanRefOpen(), tChanRefOpen);
        offer(chanRefNoDash(), tChanRefNoDash);
        offer(rawRef(), tRawRef);
        size_t mantissa = 0;
        offer(number(&mantissa), tNumber);
        offer(string(), tString);
        if (c == '\'')
            offer(1, tQuote);
        static const char *const comparisons[] = {">=", "<=", "==", "!=", "<", ">"};
        for (const char *op : comparisons)
            if (matchText(op, std::strlen(op)))
                offer(std::strlen(op), tCmpOp);
        if (matchText(">>", 2) || matchText("<<", 2))
            offer(2, tShiftOp);
        if (matchText("<-", 2))
            offer(2, tArrow);
        if (c && std::strchr("-()*/,;?{}&!+%:=|", c))
            offer(1, tChar);

        token.kind = kind;
        token.length = best;
        switch (kind) {
        case tUnknown: return token;
        case tSyncMode: token.value = c == 's' ? 2.0 : 1.0; break;
        case tTcType: token.value = static_cast<double>(std::strchr("bejknrst", at(pos_ + 4)) - "bejknrst" + 1); break;
        case tNumber: {
            // The value is read from the digits alone: an exponent marker
            // belongs to the token but adds nothing.
            const std::string digits(text_ + pos_, mantissa);
            token.value = tq::platform::cstrtod(digits.c_str(), nullptr);
            break;
        }
        case tChar: token.ch = static_cast<char>(c); break;
        default: break;
        }
        pos_ += best;
        return token;
    }

  private:
    unsigned char at(size_t i) const { return i < length_ ? static_cast<unsigned char>(text_[i]) : 0; }
    bool matchText(const char *word, size_t n) const
    {
        return pos_ + n <= length_ && std::memcmp(text_ + pos_, word, n) == 0;
    }
    // Letters, digits and underscores from i, when i holds a letter.
    size_t wordRun(size_t i) const
    {
        if (!isLetter(at(i)))
            return 0;
        size_t n = 0;
        while (isWordChar(at(i + n)))
            ++n;
        return n;
    }
    // A whole name at i (it must be followed by something other than a word
    // character), or 0.
    size_t wholeIdent(size_t i) const
    {
        const size_t run = wordRun(i);
        return run <= kIdentMax ? run : 0;
    }
    // "<" name "-" name ">"
    size_t chanRef() const
    {
        if (at(pos_) != '<')
            return 0;
        const size_t a = wholeIdent(pos_ + 1);
        if (!a || at(pos_ + 1 + a) != '-')
            return 0;
        const size_t b = wholeIdent(pos_ + 2 + a);
        if (!b || at(pos_ + 2 + a + b) != '>')
            return 0;
        return a + b + 3;
    }
    // "<" name "-" name, or name "-" name ">"
    size_t chanRefOpen() const
    {
        if (at(pos_) == '<') {
            const size_t a = wholeIdent(pos_ + 1);
            if (!a || at(pos_ + 1 + a) != '-')
                return 0;
            const size_t run = wordRun(pos_ + 2 + a);
            if (!run)
                return 0;
            return a + 2 + (run < kIdentMax ? run : kIdentMax);
        }
        const size_t a = wholeIdent(pos_);
        if (!a || at(pos_ + a) != '-')
            return 0;
        const size_t b = wholeIdent(pos_ + a + 1);
        if (!b || at(pos_ + a + 1 + b) != '>')
            return 0;
        return a + b + 2;
    }
    // "<" name ">"
    size_t chanRefNoDash() const
    {
        if (at(pos_) != '<')
            return 0;
        const size_t a = wholeIdent(pos_ + 1);
        return (a && at(pos_ + 1 + a) == '>') ? a + 2 : 0;
    }
    // "[" name "-" name "]"
    size_t rawRef() const
    {
        if (at(pos_) != '[')
            return 0;
        const size_t a = wholeIdent(pos_ + 1);
        if (!a || at(pos_ + 1 + a) != '-')
            return 0;
        const size_t b = wholeIdent(pos_ + 2 + a);
        if (!b || at(pos_ + 2 + a + b) != ']')
            return 0;
        return a + b + 3;
    }
    // Optional sign, then digits, or digits, a point and digits followed by an
    // optional exponent marker with an optional sign. *mantissa receives the
    // length without the exponent marker.
    size_t number(size_t *mantissa) const
    {
        size_t i = pos_;
        if (at(i) == '+' || at(i) == '-')
            ++i;
        size_t digits = 0;
        while (isDigit(at(i + digits)))
            ++digits;
        if (at(i + digits) == '.' && isDigit(at(i + digits + 1))) {
            i += digits + 1;
            while (isDigit(at(i)))
                ++i;
            *mantissa = i - pos_;
            if (at(i) == 'e' || at(i) == 'E') {
                ++i;
                if (at(i) == '+' || at(i) == '-')
                    ++i;
            }
            return i - pos_;
        }
        if (!digits)
            return 0;
        *mantissa = i + digits - pos_;
        return *mantissa;
    }
    // A double quote, up to 63 letters, digits, blanks or underscores, a
    // double quote.
    size_t string() const
    {
        if (at(pos_) != '"')
            return 0;
        size_t n = 0;
        while (n <= kStringMax && (isWordChar(at(pos_ + 1 + n)) || at(pos_ + 1 + n) == ' '))
            ++n;
        if (n > kStringMax || at(pos_ + 1 + n) != '"')
            return 0;
        return n + 2;
    }

    const char *text_;
    size_t length_;
    size_t pos_ = 0;
};

// ---- Parser -------------------------------------------------------------------

// Owns one node reference until it is handed on, with the height of its
// tree: evaluation and release recurse along operands, so trees are kept to
// a height that any thread's stack affords.
struct Node {
    ExprNode *p = nullptr;
    int height = 0;
    Node() = default;
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;
    Node(Node &&other) noexcept : p(other.p), height(other.height) { other.p = nullptr; }
    Node &operator=(Node &&other) noexcept
    {
        if (this != &other) {
            exprRelease(&p);
            p = other.p;
            height = other.height;
            other.p = nullptr;
        }
        return *this;
    }
    ~Node() { exprRelease(&p); }
    ExprNode *take()
    {
        ExprNode *node = p;
        p = nullptr;
        return node;
    }
};

struct Fail {}; // unwinds a rejected statement to parseStatement

// Binary operators by precedence, lowest first; all group from the left
// except the conditional.
enum Level { kLevelNone = 0, kLevelConditional = 1, kLevelBitwise, kLevelCompare, kLevelShift, kLevelAdd, kLevelMul };

// Deepest nesting of expressions and tallest tree accepted. Statements of the
// formula engine's size never come near either; beyond them the statement is
// refused as if the parse stack could not grow.
constexpr int kMaxNesting = 2000;
constexpr int kMaxHeight = 2000;

class Parser {
  public:
    Parser(const char *text, size_t length, char *message, size_t size)
        : scanner_(text, length), message_(message), size_(size), offset_(message ? std::strlen(message) : 0)
    {
    }

    int run(ExprNode **root)
    {
        try {
            Node statement = parseStatementRule();
            *root = statement.take();
            return kParseOk;
        } catch (const Fail &) {
            *root = nullptr;
            return result_;
        } catch (const std::bad_alloc &) {
            *root = nullptr;
            write("memory exhausted");
            return kParseExhausted;
        }
    }

  private:
    // -- messages and failures
    void write(const char *text)
    {
        if (!message_ || size_ == 0)
            return;
        const size_t at = offset_ < size_ ? offset_ : size_ - 1;
        size_t n = std::strlen(text);
        if (n > size_ - 1 - at)
            n = size_ - 1 - at;
        std::memcpy(message_ + at, text, n);
        message_[at + n] = '\0';
    }
    [[noreturn]] void reject(const char *text, int result = kParseRejected)
    {
        write(text);
        result_ = result;
        throw Fail{};
    }
    [[noreturn]] void syntaxError() { reject("syntax error"); }
    [[noreturn]] void exhausted() { reject("memory exhausted", kParseExhausted); }

    // A new node over its operands: the operands' references pass to it. A
    // node that cannot be made leaves them with their holders.
    Node make(ExprNode *node, std::initializer_list<Node *> operands = {})
    {
        if (!node)
            exhausted();
        Node made;
        made.p = node;
        int height = 0;
        for (Node *operand : operands) {
            if (operand->p && operand->height > height)
                height = operand->height;
            operand->take();
        }
        made.height = height + 1;
        if (made.height > kMaxHeight)
            exhausted();
        return made;
    }

    // -- the parse stack a table-driven parser would hold: one entry per
    // symbol, plus its start state.
    void push()
    {
        if (++depth_ + 1 >= kParseStackLimit)
            exhausted();
    }
    void reduce(int symbols) { depth_ -= symbols - 1; }

    struct Nesting {
        Parser &parser;
        explicit Nesting(Parser &p) : parser(p)
        {
            if (++parser.nesting_ > kMaxNesting)
                parser.exhausted();
        }
        ~Nesting() { --parser.nesting_; }
    };

    // -- tokens
    const Token &peek()
    {
        if (!haveToken_) {
            token_ = scanner_.next();
            haveToken_ = true;
            if (token_.kind == tUnknown)
                reject("Unknown character");
        }
        return token_;
    }
    Token shift()
    {
        Token token = peek();
        haveToken_ = false;
        push();
        return token;
    }
    bool isChar(char c) { return peek().kind == tChar && token_.ch == c; }
    void expectChar(char c)
    {
        if (!isChar(c))
            syntaxError();
        shift();
    }
    Token expect(TokenKind kind)
    {
        if (peek().kind != kind)
            syntaxError();
        return shift();
    }
    static std::string textOf(const Token &token) { return std::string(token.text, token.length); }
    Node textNode(int32_t kind, const Token &token) { return make(newTextNode(kind, textOf(token).c_str())); }

    // statement: output_statement | input_statement
    Node parseStatementRule()
    {
        const Token &first = peek();
        if (first.kind == tChanRef)
            return parseOutputStatement();
        if (first.kind == tIdent)
            return parseInputStatement();
        syntaxError();
    }

    // target ARROW [SYNCMODE] expr
    Node parseOutputStatement()
    {
        Node target = textNode(kChannelRef, shift());
        expect(tArrow);
        double mode = kSyncSync;
        int symbols = 3;
        if (peek().kind == tSyncMode) {
            mode = shift().value;
            ++symbols;
        }
        Node expression = parseExpression(kLevelConditional);
        reduce(symbols);
        return make(newOutputStatement(target.p, expression.p, mode), {&target, &expression});
    }

    // name "=" expr QUOTE units QUOTE, and the rejected near misses.
    Node parseInputStatement()
    {
        Node name = textNode(kName, shift());
        expectChar('=');
        Node expression = parseExpression(kLevelConditional);
        const TokenKind after = peek().kind;
        if (after == tQuote) {
            shift();
            Node units = parseUnits();
            if (peek().kind != tQuote)
                reject("units missing quote");
            shift();
            reduce(6);
            return make(newOperator(kInputStatement, name.p, expression.p, units.p), {&name, &expression, &units});
        }
        if (after == tIdent) {
            Node units = parseUnits();
            if (peek().kind == tQuote) {
                shift();
                reject("units missing quote");
            }
            reject("units must be single quoted");
        }
        reject("missing units");
    }

    Node parseUnits()
    {
        std::string text = textOf(expect(tIdent));
        if (text.size() > kUnitsMax)
            text.resize(kUnitsMax);
        return make(newTextNode(kText, text.c_str()));
    }

    static Level levelOf(const Token &token)
    {
        switch (token.kind) {
        case tCmpOp: return kLevelCompare;
        case tShiftOp: return kLevelShift;
        case tChar:
            switch (token.ch) {
            case '?': return kLevelConditional;
            case '|':
            case '&': return kLevelBitwise;
            case '+':
            case '-': return kLevelAdd;
            case '*':
            case '/':
            case '%': return kLevelMul;
            default: return kLevelNone;
            }
        default: return kLevelNone;
        }
    }

    static int32_t kindOf(char op)
    {
        switch (op) {
        case '+': return kAdd;
        case '-': return kSubtract;
        case '*': return kMultiply;
        case '/': return kDivide;
        case '%': return kRemainder;
        case '&': return kBitAnd;
        default: return kBitOr;
        }
    }

    // An expression whose operators bind at least as tightly as `minimum`.
    Node parseExpression(int minimum)
    {
        Nesting nesting(*this);
        Node left = parseUnary();
        for (;;) {
            const Level level = levelOf(peek());
            if (level == kLevelNone || level < minimum)
                return left;
            const Token op = shift();
            if (level == kLevelConditional) {
                Node whenTrue = parseExpression(kLevelConditional);
                expectChar(':');
                Node whenFalse = parseExpression(kLevelConditional); // groups from the right
                reduce(5);
                left = make(newOperator(kConditional, left.p, whenTrue.p, whenFalse.p), {&left, &whenTrue, &whenFalse});
                continue;
            }
            Node right = parseExpression(level + 1);
            reduce(3);
            ExprNode *node = (op.kind == tCmpOp || op.kind == tShiftOp)
                                 ? newNamedOperator(op.kind == tCmpOp ? kCompare : kShift, textOf(op).c_str(), left.p,
                                                    right.p)
                                 : newOperator(kindOf(op.ch), left.p, right.p);
            left = make(node, {&left, &right});
        }
    }

    // Leading minus signs negate what follows, innermost first.
    Node parseUnary()
    {
        int negations = 0;
        while (isChar('-')) {
            shift();
            ++negations;
        }
        Node operand = parsePrimary();
        for (; negations > 0; --negations) {
            reduce(2);
            operand = make(newOperator(kNegate, operand.p), {&operand});
        }
        return operand;
    }

    Node parsePrimary()
    {
        const Token &token = peek();
        switch (token.kind) {
        case tNumber: return make(newConstant(shift().value));
        case tIdent: return textNode(kName, shift());
        case tChanRef: return textNode(kChannelRef, shift());
        case tRawRef: return textNode(kRawChannelRef, shift());
        case tChanRefOpen:
            shift();
            reject("Physical Channel not surrounded by '< >'");
        case tChanRefNoDash:
            shift();
            reject("Physical Channel syntax should be: '<stream-channel>'");
        case tChar:
            if (token.ch == '(') {
                shift();
                Node inner = parseExpression(kLevelConditional);
                expectChar(')');
                reduce(3);
                return inner;
            }
            syntaxError();
        case tThermo:
        case tUnrefThermo: return parseThermocouple();
        case tMulti: return parseMultipoint();
        case tBridge: return parseBridge();
        case tSin:
        case tAsin:
        case tSqrt:
        case tDeriv: return parseOneArgument();
        case tAutocycle:
        case tMax:
        case tMin: return parseThreeArguments();
        case tAutoseq: return parseSequence();
        case tMacro: return parseMacro();
        case tAverage:
        case tVariance: return parseWindow();
        case tScan: {
            shift();
            expectChar('(');
            expectChar(')');
            reduce(3);
            return make(newOperator(kScanIndex));
        }
        case tAlarm: return parseAlarm();
        default: syntaxError();
        }
    }

    // word "(" expr ")"
    Node parseOneArgument()
    {
        const TokenKind word = shift().kind;
        expectChar('(');
        Node e = parseExpression(kLevelConditional);
        expectChar(')');
        reduce(4);
        const int32_t kind = word == tSin ? kSine : word == tAsin ? kArcSine : word == tSqrt ? kSquareRoot : kDerivative;
        return make(newOperator(kind, e.p), {&e});
    }

    // word "(" expr "," expr "," expr ")"
    Node parseThreeArguments()
    {
        const TokenKind word = shift().kind;
        expectChar('(');
        Node a = parseExpression(kLevelConditional);
        expectChar(',');
        Node b = parseExpression(kLevelConditional);
        expectChar(',');
        Node c = parseExpression(kLevelConditional);
        expectChar(')');
        reduce(8);
        const int32_t kind = word == tAutocycle ? kRamp : word == tMax ? kRunningMax : kRunningMin;
        return make(newOperator(kind, a.p, b.p, c.p), {&a, &b, &c});
    }

    // unrefthermo "(" expr "," TCTYPE ")" | thermo "(" expr "," expr "," TCTYPE ")"
    Node parseThermocouple()
    {
        const bool compensated = shift().kind == tThermo;
        expectChar('(');
        Node voltage = parseExpression(kLevelConditional);
        expectChar(',');
        Node reference;
        if (compensated) {
            reference = parseExpression(kLevelConditional);
            expectChar(',');
        }
        const int32_t type = static_cast<int32_t>(expect(tTcType).value);
        expectChar(')');
        reduce(compensated ? 8 : 6);
        return make(newThermocouple(compensated ? kThermo : kUnrefThermo, voltage.p, reference.p, type),
                    {&voltage, &reference});
    }

    // "(" NUMBER "," NUMBER ")": a constant holding the first number whose
    // first operand holds the second.
    Node parsePair()
    {
        expectChar('(');
        const double x = expect(tNumber).value;
        expectChar(',');
        const double y = expect(tNumber).value;
        expectChar(')');
        reduce(5);
        Node second = make(newConstant(y));
        return make(newConstant(x, second.p), {&second});
    }

    // multi "(" expr "," "{" pair ";" pair { ";" pair } "}" ")"
    // The pairs are chained through their second operand slot.
    Node parseMultipoint()
    {
        shift();
        expectChar('(');
        Node input = parseExpression(kLevelConditional);
        expectChar(',');
        expectChar('{');
        Node first = parsePair();
        ExprNode *last = first.p;
        int pairs = 1;
        do {
            expectChar(';');
            Node pair = parsePair();
            last->operand[1] = pair.take();
            last->operandCount = 2;
            last = last->operand[1];
            ++pairs;
            if (++first.height > kMaxHeight)
                exhausted();
        } while (isChar(';'));
        reduce(2 * pairs - 1); // the pairs fold into one list
        expectChar('}');
        expectChar(')');
        reduce(8);
        return make(newOperator(kMultipoint, input.p, first.p), {&input, &first});
    }

    // expr { "," expr }: elements linked through their list link; the list
    // is as tall as its tallest element.
    Node parseList()
    {
        Node head = parseExpression(kLevelConditional);
        ExprNode *last = head.p;
        int elements = 1;
        while (isChar(',')) {
            shift();
            Node element = parseExpression(kLevelConditional);
            if (element.height > head.height)
                head.height = element.height;
            last->next = element.take();
            last = last->next;
            ++elements;
        }
        reduce(2 * elements - 1);
        return head;
    }

    // bridge "(" expr "," "(" list ")" "," "(" list ")" ")"
    Node parseBridge()
    {
        shift();
        expectChar('(');
        Node input = parseExpression(kLevelConditional);
        expectChar(',');
        expectChar('(');
        Node first = parseList();
        expectChar(')');
        expectChar(',');
        expectChar('(');
        Node second = parseList();
        expectChar(')');
        expectChar(')');
        reduce(12);
        return make(newOperator(kBridge, input.p, first.p, second.p), {&input, &first, &second});
    }

    // autoseq "(" "{" list "}" "," expr ")"
    Node parseSequence()
    {
        shift();
        expectChar('(');
        expectChar('{');
        Node list = parseList();
        expectChar('}');
        expectChar(',');
        Node frequency = parseExpression(kLevelConditional);
        expectChar(')');
        reduce(8);
        return make(newSequence(list.p, frequency.p), {&list, &frequency});
    }

    // macro "(" expr "," IDENT "," expr ")"
    Node parseMacro()
    {
        shift();
        expectChar('(');
        Node body = parseExpression(kLevelConditional);
        expectChar(',');
        Node parameter = textNode(kName, expect(tIdent));
        expectChar(',');
        Node argument = parseExpression(kLevelConditional);
        expectChar(')');
        reduce(8);
        return make(newOperator(kMacro, body.p, parameter.p, argument.p), {&body, &parameter, &argument});
    }

    // average|variance "(" expr "," NUMBER ")"
    Node parseWindow()
    {
        const bool average = shift().kind == tAverage;
        expectChar('(');
        Node input = parseExpression(kLevelConditional);
        expectChar(',');
        Node length = make(newConstant(expect(tNumber).value));
        expectChar(')');
        reduce(6);
        return make(newOperator(average ? kAverage : kVariance, input.p, length.p), {&input, &length});
    }

    // alarm "(" expr "," expr "," NUMBER "," STRING ")"
    Node parseAlarm()
    {
        shift();
        expectChar('(');
        Node condition = parseExpression(kLevelConditional);
        expectChar(',');
        Node rearm = parseExpression(kLevelConditional);
        expectChar(',');
        Node bits = make(newConstant(expect(tNumber).value));
        expectChar(',');
        Node text = textNode(kText, expect(tString));
        expectChar(')');
        reduce(10);
        Node alarm = make(newOperator(kAlarm, condition.p, rearm.p, bits.p), {&condition, &rearm, &bits});
        alarm.p->operand[3] = text.take();
        alarm.p->operandCount = 4;
        return alarm;
    }

    Scanner scanner_;
    Token token_;
    bool haveToken_ = false;
    int depth_ = 0;
    int nesting_ = 0;
    int result_ = kParseRejected;
    char *message_;
    size_t size_;
    size_t offset_;
};

} // namespace

int parseStatement(const char *text, size_t length, ExprNode **root, char *message, size_t size)
{
    ExprNode *ignored = nullptr;
    if (!root)
        root = &ignored;
    *root = nullptr;
    if (!text)
        length = 0;
    Parser parser(text ? text : "", length, message, size);
    const int result = parser.run(root);
    if (root == &ignored)
        exprRelease(&ignored);
    return result;
}

} // namespace tq::formula
