// The listing writer on queries of its own (nesting, long keys, the column
// kinds, rows that fail part way), and the listings of a session whose
// records the test arranges: a connection interrupted under an unfinished
// listing, open instances with streams, marks that name nothing.
#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "listings.h"
#include "manager.h"

using namespace mtest;
using namespace tq::manager;

namespace
{

// Runs the writer over a query on an in-memory database in parts of `size`
// bytes; every part but the last must fill its buffer.
std::string writeAll(const char *sql, size_t size, ViStatus *last)
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_stmt *stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    XmlListing listing;
    listing.start(stmt);
    std::string text;
    std::vector<char> buffer(size);
    for (int calls = 0; calls < 100000; ++calls) {
        ViUInt32 length = 0;
        *last = listing.write(buffer.data(), size, 0, &length);
        EXPECT_EQ(strlen(buffer.data()), length);
        text.append(buffer.data(), length);
        if (*last != TQDAQ_WARN_MORE_TEXT)
            break;
        EXPECT_EQ(length, size - 1);
    }
    sqlite3_close(db);
    return text;
}

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

struct WriterCase {
    const char *what;
    std::string sql;
    std::string text;
    ViStatus status;
};

std::string deepQuery()
{
    std::string sql = "select ";
    for (int level = 1; level <= 12; ++level)
        sql += "'k" + std::to_string(level) + "' as _1l" + std::to_string(level) + ", ";
    return sql + "column1 as leaf from (values ('v'), ('w'))";
}

std::string deepText()
{
    std::string open, close;
    for (int level = 1; level <= 12; ++level) {
        open += "<l" + std::to_string(level) + ">";
        close = "</l" + std::to_string(level) + ">" + close;
    }
    return open + "<leaf>v</leaf><leaf>w</leaf>" + close;
}

const std::string kLong = repeat('k', 300);

const WriterCase kWriterCases[] = {
    {"no rows", "select 1 as _1a where 0", "", VI_SUCCESS},
    {"nesting deeper than nine", deepQuery(), deepText(), VI_SUCCESS},
    {"keys longer than 255 characters are compared whole",
     "select 1 as _1root, column1 as _1e, column2 as v from (values ('" + kLong + "', 1), ('" + kLong + "', 2), ('" +
         kLong.substr(0, 299) + "x', 3))",
     "<root><e><v>1</v><v>2</v></e><e><v>3</v></e></root>", VI_SUCCESS},
    {"column kinds: empty element, order only, NULL, leaf",
     "select 1 as _1a, 'x=''1''' as _2attr, 5 as _3seq, NULL as gone, 'text' as leaf",
     "<a><attr x='1'/><leaf>text</leaf></a>", VI_SUCCESS},
    {"a new key closes only what the row does not share",
     "select 1 as _1a, column1 as _1b, column2 as _1c, column3 as v from (values (10, 100, 'p'), (10, 101, 'q'), "
     "(11, 100, 'r'))",
     "<a><b><c><v>p</v></c><c><v>q</v></c></b><b><c><v>r</v></c></b></a>", VI_SUCCESS},
    {"a NULL key closes its element and the row goes on in the one above",
     "select 1 as _1a, column1 as _1b, column2 as v from (values (1, 'p'), (NULL, 'q'))",
     "<a><b><v>p</v></b><v>q</v></a>", VI_SUCCESS},
    {"values are written as stored", "select 1 as _1a, '&lt;p&gt;' as html", "<a><html>&lt;p&gt;</html></a>",
     VI_SUCCESS},
    // The third row fails while it is computed: the rows end there, the open
    // elements are closed, and the listing says it was cut.
    {"a step that fails part way",
     "select 1 as _1a, case when column1 = 3 then abs(-9223372036854775807 - 1) else column1 end as v from "
     "(values (1), (2), (3), (4))",
     "<a><v>1</v><v>2</v></a>", TQDAQ_ERROR_STATEMENT},
};

TEST(ListingWriter, Cases)
{
    for (const WriterCase &c : kWriterCases) {
        ViStatus last = 0;
        EXPECT_EQ(writeAll(c.sql.c_str(), 8192, &last), c.text) << c.what;
        EXPECT_EQ(last, c.status) << c.what;
        // The same text in parts of every small size.
        for (size_t size = 2; size <= 40; ++size) {
            EXPECT_EQ(writeAll(c.sql.c_str(), size, &last), c.text) << c.what << ", parts of " << size;
            EXPECT_EQ(last, c.status) << c.what << ", parts of " << size;
        }
    }
}

TEST(Listings, AStepErrorPartWayReportsTheCutListing)
{
    AppDb app;
    ViSession h = 0;
    ASSERT_EQ(app.open(h), VI_SUCCESS);
    Session *s = findSession(h);
    ASSERT_NE(s, nullptr);
    // The smallest buffer: the first part is the header, with the first row read.
    char buffer[TQDAQ_LISTING_MIN_SIZE];
    ViUInt32 length = 0;
    ASSERT_EQ(tqdaq_listUsers(h, nullptr, buffer, sizeof buffer, &length), TQDAQ_WARN_MORE_TEXT);
    std::string text(buffer, length);
    // The statement is stepping: the interrupt fails its next step.
    sqlite3_interrupt(s->db);
    ViStatus st = TQDAQ_WARN_MORE_TEXT;
    while (st == TQDAQ_WARN_MORE_TEXT) {
        st = tqdaq_listUsers(h, nullptr, buffer, sizeof buffer, &length);
        text.append(buffer, length);
    }
    EXPECT_EQ(st, TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(text, "<?xml version=\"1.0\"?>\n<users></users>") << "closed, though cut";
    EXPECT_EQ(s->listing, nullptr);
    // Nothing is left unfinished: another kind starts.
    EXPECT_EQ(tqdaq_listFormulas(h, nullptr, buffer, sizeof buffer, &length), TQDAQ_WARN_MORE_TEXT);
    EXPECT_EQ(tqdaq_closeHandle(h), VI_SUCCESS);
}

// An open instance made by hand, marked in vresource.deviceHandle.
struct HandInstance {
    HandInstance(DeviceDb &d, const std::string &name, TQStream *stream)
    {
        r.stream = stream;
        r.handle = resourceTable().add(&r);
        d.exec("update vresource set deviceHandle=" + std::to_string(markOf(r.handle)) + " where name='" + name + "'");
    }
    ~HandInstance() { resourceTable().remove(r.handle); }
    OpenResource r;
};

std::string item(TQStream *stream, const std::string &name)
{
    return "<stream><name>" + name + "</name><handle>" + std::to_string(tqstream_streamValue(stream)) +
           "</handle></stream>";
}

TEST(Listings, StreamsOfTheFormulaEngineAndOfOpenMembers)
{
    AppDb app;
    const int64_t model = app.d.addTestModel();
    const int64_t a = app.d.addVresource("a&b", model), b = app.d.addVresource("b", model),
                  c = app.d.addVresource("c", model), outside = app.d.addVresource("outside", model);
    app.d.addMember(app.dbId, a);
    app.d.addMember(app.dbId, b);
    app.d.addMember(app.dbId, c, 0); // disabled members are listed too
    ViSession h = 0;
    ASSERT_EQ(app.open(h), VI_SUCCESS);
    Session *s = findSession(h);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->formulaStream, nullptr);

    // Streams of open instances: two members and a resource outside the database.
    const FormulaEngineOps *ops = formulaEngineOps();
    FormulaEngine *engines[3] = {ops->create(0), ops->create(0), ops->create(0)};
    TQStream *streams[3] = {};
    const char *names[3] = {"a&b", "c", "outside"};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(ops->getStream(engines[i], names[i], &streams[i]), 0);
    {
        HandInstance ia(app.d, "a&b", streams[0]), ic(app.d, "c", streams[1]), io(app.d, "outside", streams[2]);
        // b is marked by another process: no open instance here.
        app.d.exec("update vresource set deviceHandle=" + std::to_string((int64_t(getpid()) + 1) << 32 | 5) +
                   " where vresource_id=" + std::to_string(b));

        std::string expected = "<?xml version=\"1.0\"?><query ver=\"1.0\"><streams>" +
                               item(s->formulaStream, s->formulaStream->streamGetName(s->formulaStream)) +
                               item(streams[0], "a&amp;b") + item(streams[1], "c") + "</streams></query>";
        for (ViUInt32 size : {48u, 100u, 8192u}) {
            std::string text;
            char buffer[8192];
            ViUInt32 length = 0;
            ViStatus st = TQDAQ_WARN_MORE_TEXT;
            for (int calls = 0; st == TQDAQ_WARN_MORE_TEXT && calls < 100; ++calls) {
                st = tqdaq_listStreams(h, buffer, size, &length);
                if (st == VI_ERROR_INV_PARAMETER) {
                    // 48 bytes hold the header but no stream element.
                    EXPECT_EQ(size, 48u);
                    st = tqdaq_listStreams(h, buffer, 200, &length);
                }
                text.append(buffer, length);
            }
            EXPECT_EQ(st, VI_SUCCESS);
            EXPECT_EQ(text, expected) << size;
        }

        // A mark that is not a number: the list is closed and reported cut.
        app.d.exec("update vresource set deviceHandle='12x' where vresource_id=" + std::to_string(b));
        char buffer[8192];
        ViUInt32 length = 0;
        EXPECT_EQ(tqdaq_listStreams(h, buffer, sizeof buffer, &length), TQDAQ_ERROR_STATEMENT);
        const std::string text(buffer, length);
        EXPECT_EQ(text.substr(text.size() - 18), "</streams></query>");
        EXPECT_EQ(s->streamListing, nullptr);
        app.d.exec("update vresource set deviceHandle=NULL where vresource_id in (" + std::to_string(a) + "," +
                   std::to_string(b) + "," + std::to_string(c) + "," + std::to_string(outside) + ")");
    }
    for (TQStream *&stream : streams)
        stream->streamRelease(&stream);
    for (FormulaEngine *&e : engines)
        ops->release(&e);
    (void)outside;
    EXPECT_EQ(tqdaq_closeHandle(h), VI_SUCCESS);
}

} // namespace
