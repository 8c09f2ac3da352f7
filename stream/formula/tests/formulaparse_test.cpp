// The formula statement language: what each statement parses to, the
// messages of rejected ones, and the limits of the parse.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "formula/exprnode.h"
#include "formula/formulaparse.h"

using namespace tq::formula;

namespace {

struct Parsed {
    int result;
    std::string message;
    std::string tree;
};

Parsed parse(const std::string &statement, const char *prefix = "")
{
    char message[256];
    std::snprintf(message, sizeof message, "%s", prefix);
    ExprNode *root = nullptr;
    Parsed out;
    out.result = parseStatement(statement.data(), statement.size(), &root, message, sizeof message);
    out.message = message;
    if (root) {
        char tree[2048];
        exprFormat(root, tree, sizeof tree);
        out.tree = tree;
        exprRelease(&root);
    }
    return out;
}

struct Case {
    const char *statement;
    int result;
    const char *message;
    const char *tree;
};

// Statements as the formula engine builds them: name, operator, expression,
// and " x" unless the operator is exactly "<-".
const Case kCases[] = {
    // The two statement forms.
    {"Temp1=<rack1-ch0> 'volts' x", 0, "", "(input Temp1 (ref <rack1-ch0>) volts)"},
    {"<rack1-ao0> <- sync 1 x", 0, "", "(output sync (ref <rack1-ao0>) 1)"},
    {"<rack1-ao0> <- async autocycle(0,10,1) x", 0, "", "(output async (ref <rack1-ao0>) (autocycle 0 10 1))"},
    {"<rack1-ao0> <- 5 x", 0, "", "(output sync (ref <rack1-ao0>) 5)"},
    {"<rack1-ao0><-<rack1-ch0>", 0, "", "(output sync (ref <rack1-ao0>) (ref <rack1-ch0>))"},
    // Signed numbers belong to the number, whatever stands before them.
    {"a=x-1 'v' x", 1, "missing units", ""},
    {"a=x - 1 'v' x", 0, "", "(input a (sub x 1) v)"},
    {"a=b+1 'v' x", 1, "missing units", ""},
    {"a=x * -1 'v' x", 0, "", "(input a (mul x -1) v)"},
    {"a=-.5 'v' x", 0, "", "(input a -0.5 v)"},
    {"a=+3 'v' x", 0, "", "(input a 3 v)"},
    {"<rack1-ao0> <- 1+2 x", 0, "", "(output sync (ref <rack1-ao0>) 1)"},
    // Exponents: a marker after a fraction ends the number and adds nothing.
    {"a=1.5e3 'v' x", 1, "missing units", ""},
    {"a=1.5e+ 'v' x", 0, "", "(input a 1.5 v)"},
    {"a=12e 'v' x", 1, "units missing quote", ""},
    // Units.
    {"a=b x", 1, "units must be single quoted", ""},
    {"a=b 'v x", 1, "units missing quote", ""},
    {"a=b v' x", 1, "units missing quote", ""},
    {"a = 1 'v' 'w'", 0, "", "(input a 1 v)"},
    {"a= 'v' x", 1, "syntax error", ""},
    {"a=1 'sin' x", 1, "syntax error", ""},
    // References.
    {"a=<s> 'v' x", 1, "Physical Channel syntax should be: '<stream-channel>'", ""},
    {"a=<s-c 'v' x", 1, "Physical Channel not surrounded by '< >'", ""},
    {"a=s-c> 'v' x", 1, "Physical Channel not surrounded by '< >'", ""},
    {"a=[s-c]*2 'v' x", 0, "", "(input a (mul (raw [s-c]) 2) v)"},
    {"a=x<a-b 'v' x", 1, "missing units", ""},
    // "<-" is one token; "<" "-" needs a blank.
    {"a=x<-1 'v' x", 1, "missing units", ""},
    {"a=x< -1 'v' x", 0, "", "(input a (cmp < x -1) v)"},
    // Lists and numbers where the grammar wants them.
    {"a=multi(x,{(0,0)}) 'v' x", 1, "syntax error", ""},
    {"a=multi(x,{(0,0);(1,2)}) 'v' x", 0, "", "(input a (multi x {(pair 0 0) (pair 1 2)}) v)"},
    {"a=multi(x,{(-1.5,2);(0,0);(1,3)}) 'v' x", 0, "",
     "(input a (multi x {(pair -1.5 2) (pair 0 0) (pair 1 3)}) v)"},
    {"a=average(x,y) 'v' x", 1, "syntax error", ""},
    {"a=average(x,3) 'v' x", 0, "", "(input a (average x 3) v)"},
    {"a=variance(x,3+1) 'v' x", 1, "syntax error", ""},
    {"b=bridge(x,(1,2,3),(4,5)) 'v' x", 0, "", "(input b (bridge x {1 2 3} {4 5}) v)"},
    {"b=bridge(x,(y*2,3),(4)) 'v' x", 0, "", "(input b (bridge x {(mul y 2) 3} {4}) v)"},
    {"s=autoseq({1,2,3},0.5) 'v' x", 0, "", "(input s (autoseq {1 2 3} 0.5) v)"},
    {"s=autoseq({x+1,z},1) 'v' x", 1, "syntax error", ""},
    {"s=autoseq({x + y,z},1) 'v' x", 0, "", "(input s (autoseq {(add x y) z} 1) v)"},
    // Operators and precedence.
    {"a=!x 'v' x", 1, "syntax error", ""},
    {"a=x!=1 'v' x", 0, "", "(input a (cmp != x 1) v)"},
    {"a=1?2:3 'v' x", 0, "", "(input a (cond 1 2 3) v)"},
    {"a=x&y&z 'v' x", 0, "", "(input a (and (and x y) z) v)"},
    {"a=x|y&z 'v' x", 0, "", "(input a (and (or x y) z) v)"},
    {"a=x & y == 2 'v' x", 0, "", "(input a (and x (cmp == y 2)) v)"},
    {"a=a + b << 1 'v' x", 0, "", "(input a (shift << (add a b) 1) v)"},
    {"a=-a * b 'v' x", 0, "", "(input a (mul (neg a) b) v)"},
    {"a=--a 'v' x", 0, "", "(input a (neg (neg a)) v)"},
    {"a=a ? b : c ? d : e 'v' x", 0, "", "(input a (cond a b (cond c d e)) v)"},
    {"a=a ? b ? c : d : e 'v' x", 0, "", "(input a (cond a (cond b c d) e) v)"},
    {"a=a | b ? c : d 'v' x", 0, "", "(input a (cond (or a b) c d) v)"},
    {"a=a < b < c 'v' x", 0, "", "(input a (cmp < (cmp < a b) c) v)"},
    {"a=a - b - c 'v' x", 0, "", "(input a (sub (sub a b) c) v)"},
    {"a=a / b * c % d 'v' x", 0, "", "(input a (rem (mul (div a b) c) d) v)"},
    {"a=(a + b) * c 'v' x", 0, "", "(input a (mul (add a b) c) v)"},
    {"a=a >> b >= c 'v' x", 0, "", "(input a (cmp >= (shift >> a b) c) v)"},
    // Functions.
    {"t=thermo(<s-v>,25,typek) 'C' x", 0, "", "(input t (thermo type4 (ref <s-v>) 25) C)"},
    {"t=unrefthermo(<s-v>,typeb) 'C' x", 0, "", "(input t (unrefthermo type1 (ref <s-v>)) C)"},
    {"t=thermo(<s-v>,25,typex) 'C' x", 1, "syntax error", ""},
    {"m=macro(p*2,p,<s-a>) 'v' x", 0, "", "(input m (macro (mul p 2) p (ref <s-a>)) v)"},
    {"al=alarm(x>5,y,3,\"too hot\") 'v' x", 0, "", "(input al (alarm (cmp > x 5) y 3 \"too hot\") v)"},
    {"n=scan() 'v' x", 0, "", "(input n (scan) v)"},
    {"n=scan(1) 'v' x", 1, "syntax error", ""},
    {"f=sqrt(sin(x))+asin(y)+deriv(z) 'v' x", 0, "", "(input f (add (add (sqrt (sin x)) (asin y)) (deriv z)) v)"},
    {"f=max(x,0,1) - min(x,0,1) 'v' x", 0, "", "(input f (sub (max x 0 1) (min x 0 1)) v)"},
    // Words: keywords cannot be names; longest match first.
    {"sin=1 'v' x", 1, "syntax error", ""},
    {"typek=1 'v' x", 1, "syntax error", ""},
    {"a=thermox 'v' x", 0, "", "(input a thermox v)"},
    {"a=sync\t'v' x", 0, "", "(input a sync v)"},
    {"a=typekk 'v' x", 0, "", "(input a typekk v)"},
    // Characters that start no token.
    {"a=x # 'v' x", 1, "Unknown character", ""},
    {"a=_x 'v' x", 1, "Unknown character", ""},
    {"a=x.y 'v' x", 1, "Unknown character", ""},
    {"a=\"x 'v' x", 1, "Unknown character", ""},
    {"a=x\xC3\xA9 'v' x", 1, "Unknown character", ""},
    {"<a-b> <- 1\r", 1, "Unknown character", ""},
    // A complete statement ends the parse: nothing after it is read.
    {"a=1 'v'\r#", 0, "", "(input a 1 v)"},
    // Neither form.
    {"", 1, "syntax error", ""},
    {"1=a 'v' x", 1, "syntax error", ""},
};

TEST(FormulaParse, Statements)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.statement);
        const Parsed p = parse(c.statement);
        EXPECT_EQ(p.result, c.result);
        EXPECT_EQ(p.message, c.message);
        EXPECT_EQ(p.tree, c.tree);
    }
}

TEST(FormulaParse, MessageFollowsTheCallersPrefix)
{
    const Parsed p = parse("a=b x", "Expression for a: ");
    EXPECT_EQ(p.message, "Expression for a: units must be single quoted");
    // A buffer already full keeps its terminator.
    char small[8] = "1234567";
    ExprNode *root = nullptr;
    EXPECT_EQ(parseStatement("a=b x", 5, &root, small, sizeof small), 1);
    EXPECT_STREQ(small, "1234567");
    // No buffer at all.
    EXPECT_EQ(parseStatement("a=b x", 5, &root, nullptr, 0), 1);
    EXPECT_EQ(root, nullptr);
}

TEST(FormulaParse, NamesAndWordsAtTheirLimits)
{
    const std::string name64(64, 'n');
    Parsed p = parse(name64 + "=1 'v' x");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree, "(input " + name64 + " 1 v)");
    // 65 letters scan as a 64-letter name and a one-letter word: here that
    // word is taken for the units.
    p = parse("a=" + std::string(65, 'b') + " 'v' x");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.message, "units missing quote");
    // Channel references of two 64-character names are carried whole.
    const std::string ref = "<" + std::string(64, 's') + "-" + std::string(64, 'c') + ">";
    p = parse("a=" + ref + " 'v' x");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree, "(input a (ref " + ref + ") v)");
    // Units words are kept to 63 characters.
    p = parse("a=1 '" + std::string(64, 'u') + "' x");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree, "(input a 1 " + std::string(63, 'u') + ")");
    // Strings hold at most 63 characters between their quotes.
    p = parse("a=alarm(1,0,1,\"" + std::string(63, 's') + "\") 'v' x");
    EXPECT_EQ(p.result, 0);
    p = parse("a=alarm(1,0,1,\"" + std::string(64, 's') + "\") 'v' x");
    EXPECT_EQ(p.message, "Unknown character");
}

TEST(FormulaParse, TheTextNeedsNoTerminatorAndMayBeLong)
{
    const std::string text = "a=1 'v' x";
    // Only the given length is read.
    ExprNode *root = nullptr;
    char message[64] = "";
    EXPECT_EQ(parseStatement(text.data(), 3, &root, message, sizeof message), 1);
    EXPECT_STREQ(message, "missing units");
    // A statement far longer than the engine's own limit still parses.
    std::string sum = "a=0";
    for (int i = 0; i < 1500; ++i)
        sum += " + 1";
    EXPECT_EQ(parseStatement(sum.data(), sum.size(), &root, nullptr, 0), 1); // no units
    ASSERT_EQ(parseStatement((sum + " 'v' x").data(), sum.size() + 6, &root, nullptr, 0), 0);
    ASSERT_NE(root, nullptr);
    EXPECT_DOUBLE_EQ(exprEval(root, nullptr, 0, 0), 1500.0);
    exprRelease(&root);
    // A tree taller than evaluation may recurse through is refused.
    for (int i = 0; i < 1500; ++i)
        sum += " + 1";
    sum += " 'v' x";
    EXPECT_EQ(parseStatement(sum.data(), sum.size(), &root, nullptr, 0), 2);
    EXPECT_EQ(root, nullptr);
}

std::string sequenceOf(int elements)
{
    std::string text = "a=autoseq({1";
    for (int i = 1; i < elements; ++i)
        text += ",1";
    return text + "},1) 'v' x";
}

TEST(FormulaParse, ParseStackExhaustion)
{
    // Each list element holds two stack entries (the element and its comma)
    // besides the five symbols before the list and the start state: 4997
    // elements fill 9999 entries, one more reaches the limit.
    EXPECT_EQ(parse(sequenceOf(4997)).result, 0);
    const Parsed p = parse(sequenceOf(4998), "Expression for a: ");
    EXPECT_EQ(p.result, 2);
    EXPECT_EQ(p.message, "Expression for a: memory exhausted");
    // Deep nesting is refused the same way, without running out of stack.
    for (const char *open : {"(", "-(", "sin("}) {
        std::string text = "a=";
        std::string close;
        for (int i = 0; i < 5000; ++i) {
            text += open;
            close += ")";
        }
        text += "1" + close + " 'v' x";
        EXPECT_EQ(parse(text).result, 2) << open;
    }
    std::string chain = "a=1";
    for (int i = 0; i < 3000; ++i)
        chain += "?1:1";
    EXPECT_EQ(parse(chain + " 'v' x").result, 2);
    // Moderate nesting is fine.
    std::string nested = "a=" + std::string(500, '(') + "1" + std::string(500, ')') + " 'v' x";
    EXPECT_EQ(parse(nested).result, 0);
}

TEST(FormulaParse, ParsesRunConcurrently)
{
    // All parser state lives in the call: engines of several sessions parse
    // at once.
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text = "a" + std::to_string(t) + "=" + std::to_string(i) + " * <s-c> 'v' x";
                ExprNode *root = nullptr;
                if (parseStatement(text.data(), text.size(), &root, nullptr, 0) != 0 || !root ||
                    root->operand[1]->operand[0]->cachedValue != i)
                    failures++;
                exprRelease(&root);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
