// XML listings of the device database: the generic writer that turns the
// rows of one query into nested XML from the names of its columns, the
// queries of the seven generic listings, and the cursors a session keeps
// while a listing is unfinished.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tqdaq.h"

namespace tq::manager
{

// The generic listings; the value marks the one a session has unfinished.
enum class ListingKind : int {
    None = 0,
    Vresources = 1,
    Configs = 2,
    Presources = 4,
    Models = 5,
    DBs = 8,
    Users = 9,
    Formulas = 11,
};

// A listing's query: SQL text with numbered parameters (?1, ?2 ...) and the
// values bound to them in that order. Callers' filters only ever enter as
// bound values, so no filter can be too long for a statement or change it.
struct ListingQuery {
    std::string sql;
    std::vector<std::variant<int64_t, std::string>> values;
};

// Appends text as listings carry it: the entities it already holds kept,
// every other '&', '<' and '>' escaped.
void appendListingText(std::string &out, std::string_view text);

// Filters given as null match everything.
ListingQuery usersQuery(const char *userName);
ListingQuery modelsQuery(ViInt16 vendor, ViInt16 model, const char *category);
ListingQuery dbsQuery(const char *productName);
ListingQuery vresourcesQuery(const char *name);
ListingQuery presourcesQuery(const char *name);
ListingQuery configsQuery(const char *vresource, const char *category, const char *property);
ListingQuery formulasQuery(const char *dbName);

// Prepares a query on db and binds its values: the statement, or null (the
// connection's error message tells why).
sqlite3_stmt *prepareListing(sqlite3 *db, const ListingQuery &query);

// Writes the rows of a statement as XML, a buffer at a time. The column
// names shape the tree, through their first two characters:
//   "_1" name  opens the element name, keyed by the value; it stays open
//              while later rows carry the same key in that column;
//   "_2" name  an empty element: "<" name " " value "/>" (the query makes
//              the value attribute text);
//   "_3" name  only orders the rows;
//   other      a leaf "<" name ">" value "</" name ">".
// A NULL value writes nothing. A row continues after the key column of the
// deepest element it shares with the open ones; the elements it does not
// share are closed first. Values are written as stored.
class XmlListing
{
  public:
    XmlListing() = default;
    ~XmlListing();
    XmlListing(const XmlListing &) = delete;
    XmlListing &operator=(const XmlListing &) = delete;

    // Takes over a prepared statement; it is finalized when the listing
    // ends or is dropped.
    void start(sqlite3_stmt *statement);

    // Appends text to buffer (size bytes, of which the first `used` are
    // taken; size > used) and terminates it; *length is the text's length.
    // TQDAQ_WARN_MORE_TEXT: the buffer is full and text follows (a piece
    // that did not fit continues in the next call); 0: the listing is
    // complete; TQDAQ_ERROR_STATEMENT: a step failed, the rows ended there
    // and the open elements have been closed, so the text is well formed
    // but cut. The statement is finalized once no text follows.
    ViStatus write(char *buffer, size_t size, size_t used, ViUInt32 *length);

  private:
    enum class State { NeedRow, Match, Columns, Closing };
    enum class Kind : uint8_t { Keyed, Empty, Order, Leaf };
    struct Column {
        Kind kind;
        std::string open;  // "<name>", or "<name " for an empty element
        std::string close; // "</name>", or "/>"
    };
    struct OpenElement {
        int column = 0;
        std::string key;
    };

    // Makes the next piece of text; false when the listing is complete.
    bool nextPiece();
    void finish();

    sqlite3_stmt *stmt_ = nullptr;
    std::vector<Column> columns_;
    std::vector<OpenElement> open_; // capacity kept across elements
    size_t depth_ = 0;              // open elements in open_
    State state_ = State::NeedRow;
    int column_ = 0;
    bool failed_ = false;
    std::string piece_; // the piece being delivered
    size_t delivered_ = 0;
};

// An unfinished generic listing of a session.
struct Listing {
    ListingKind kind = ListingKind::None;
    XmlListing writer;
};

// An unfinished tqdaq_listStreams of a session: its own statement, so that
// it and a generic listing can both be unfinished.
struct StreamListing {
    ~StreamListing();
    sqlite3_stmt *stmt = nullptr;
    int phase = 0;
    bool failed = false;
    std::string item; // formatted, waiting for room in a buffer
    bool itemPending = false;
};

} // namespace tq::manager
