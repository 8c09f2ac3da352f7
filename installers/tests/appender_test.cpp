// The description appender on a real device database: chunk boundaries,
// quotes, several texts and several rows, and failures reported.
#include <cstring>

#include "fixture.h"
#include "installer.h"

using tq::installer::Appender;

namespace
{

// Counts the update statements the connection runs.
int traceUpdates(unsigned, void *context, void *statement, void *)
{
    const char *sql = sqlite3_sql(static_cast<sqlite3_stmt *>(statement));
    if (sql && std::strncmp(sql, "update", 6) == 0)
        ++*static_cast<int *>(context);
    return 0;
}

struct Piece {
    int row; // 0 or 1: which of the two model rows
    std::string text;
};

struct Case {
    const char *name;
    std::vector<Piece> pieces;
    int updates;
    std::string row0, row1; // the descriptions afterwards
};

std::ostream &operator<<(std::ostream &o, const Case &c)
{
    return o << c.name;
}

std::string repeat(size_t n, char c = 'a')
{
    return std::string(n, c);
}

class Appends : public ::testing::TestWithParam<Case>
{
};

TEST_P(Appends, StoredTextEqualsInputInBoundedChunks)
{
    const Case &c = GetParam();
    itest::DeviceDb d(itest::testDir());
    // The second row's id needs more than 32 bits: the update must not
    // reach the row of its low bits.
    const int64_t ids[2] = {
        d.insert("insert into model (vendor,model,prefix,pnplibname) values (1,1,'a','a')"),
        d.insert("insert into model (model_id,vendor,model,prefix,pnplibname) values (4294967297,1,2,'b','b')")};
    ASSERT_EQ(ids[0], 1);
    int updates = 0;
    sqlite3_trace_v2(d.db(), SQLITE_TRACE_STMT, traceUpdates, &updates);

    Appender a;
    for (const Piece &p : c.pieces)
        ASSERT_GE(a.append(d.db(), "model", ids[p.row], p.text), 0);
    ASSERT_GE(a.flush(d.db(), "", 0), 0);
    sqlite3_trace_v2(d.db(), 0, nullptr, nullptr);

    EXPECT_EQ(updates, c.updates);
    EXPECT_EQ(d.value("select description from model where model_id=1"), c.row0);
    EXPECT_EQ(d.value("select description from model where model_id=4294967297"), c.row1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Appends,
    ::testing::Values(Case{"OneFullChunk", {{0, repeat(2047)}}, 1, repeat(2047), ""},
                      Case{"OneMoreCharacter", {{0, repeat(2048)}}, 2, repeat(2048), ""},
                      Case{"QuotesCountTwice", {{0, repeat(2045) + "'"}}, 1, repeat(2045) + "'", ""},
                      Case{"QuoteStraddlingTheBoundaryMovesOn", {{0, repeat(2046) + "'b"}}, 2, repeat(2046) + "'b", ""},
                      Case{"ManyQuotes", {{0, repeat(3000, '\'')}}, 3, repeat(3000, '\''), ""},
                      Case{"TwoTextsForOneRowShareAChunk", {{0, "abc"}, {0, "def"}}, 1, "abcdef", ""},
                      Case{"AnotherRowBetween", {{0, "abc"}, {1, "x"}, {0, "def"}}, 3, "abcdef", "x"},
                      Case{"WideRowIdOnly", {{1, "wide"}}, 1, "", "wide"},
                      Case{"HtmlAndBackslashesAsWritten", {{0, "&lt;p&gt;c:\\data 'x' \"y\"&lt;/p&gt;"}}, 1,
                           "&lt;p&gt;c:\\data 'x' \"y\"&lt;/p&gt;", ""}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

TEST(AppenderFailures, AWriteThatReachesNoRowIsReported)
{
    itest::DeviceDb d(itest::testDir());
    Appender a;
    // No model row 42: the update changes nothing, which is a failure.
    EXPECT_EQ(a.append(d.db(), "model", 42, "text"), 0);
    EXPECT_EQ(a.flush(d.db(), "", 0), -1);
    // A table that carries no help text is refused.
    const int64_t id = d.insert("insert into users (username) values ('u')");
    EXPECT_EQ(a.append(d.db(), "users", id, "x"), 0);
    EXPECT_LT(a.append(d.db(), "model", 1, "y"), 0) << "the pending text of the refused target fails";
    // Nothing pending: a flush writes nothing and reports 0.
    Appender b;
    EXPECT_EQ(b.flush(d.db(), "", 0), 0);
}

} // namespace
