// XML listings: the generic writer, the eight tqdaq_list* exports and the
// cursors that let a listing continue over as many buffers as the caller
// needs. Every call returns a terminated text; 0x3FFC0107 says more follows.
#include "listings.h"

#include <cinttypes>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "manager.h"
#include "tq/platform/guard.h"
#include "tq/platform/xmltext.h"

namespace tq::manager
{

namespace
{

constexpr char kHeader[] = "<?xml version=\"1.0\"?>\n";
constexpr size_t kHeaderLength = sizeof kHeader - 1;
constexpr char kStreamsHeader[] = "<?xml version=\"1.0\"?><query ver=\"1.0\"><streams>";
constexpr size_t kStreamsHeaderLength = sizeof kStreamsHeader - 1;
constexpr char kStreamsEnd[] = "</streams></query>";

static_assert(TQDAQ_LISTING_MIN_SIZE == kHeaderLength + 1);
static_assert(TQDAQ_STREAM_LISTING_MIN_SIZE == kStreamsHeaderLength + 1);

// A caller's category or property name as the catalogue stores it.
std::string escaped(const char *text)
{
    std::string out;
    if (text)
        platform::appendEscapedXml(out, text);
    return out;
}

} // namespace

// Category names and channel references are stored escaped already, and
// listings have always carried them as stored: an entity is kept as it is,
// every other '&', '<' and '>' becomes one, so that any stored text reads
// back as one text. Quotes stay (the option texts quote with them; the
// queries write quotes inside values as "&apos;").
void appendListingText(std::string &out, std::string_view text)
{
    static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            bool entity = false;
            for (std::string_view e : kEntities)
                entity = entity || text.substr(i, e.size()) == e;
            if (!entity && i + 2 < text.size() && text[i + 1] == '#') {
                size_t j = i + 2;
                const bool hex = text[j] == 'x';
                j += hex;
                const size_t digits = j;
                while (j < text.size() && (hex ? isxdigit(static_cast<unsigned char>(text[j]))
                                               : isdigit(static_cast<unsigned char>(text[j]))))
                    ++j;
                entity = j > digits && j < text.size() && text[j] == ';';
            }
            out += entity ? "&" : "&amp;";
        } else {
            out += c;
        }
    }
}

// ---- The generic writer ------------------------------------------------------

XmlListing::~XmlListing()
{
    finish();
}

void XmlListing::finish()
{
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

void XmlListing::start(sqlite3_stmt *statement)
{
    finish();
    stmt_ = statement;
    columns_.clear();
    const int count = sqlite3_column_count(stmt_);
    for (int i = 0; i < count; ++i) {
        const char *raw = sqlite3_column_name(stmt_, i);
        const std::string full = raw ? raw : "";
        Kind kind = Kind::Leaf;
        std::string name = full;
        if (full.size() >= 2 && full[0] == '_' && full[1] >= '1' && full[1] <= '3') {
            kind = full[1] == '1' ? Kind::Keyed : full[1] == '2' ? Kind::Empty : Kind::Order;
            name = full.substr(2);
        }
        if (kind == Kind::Empty)
            columns_.push_back({kind, "<" + name + " ", "/>"});
        else
            columns_.push_back({kind, "<" + name + ">", "</" + name + ">"});
    }
    // Each open element sits at a later column than the one it is in, so
    // the columns bound the nesting.
    open_.assign(columns_.size(), OpenElement{});
    depth_ = 0;
    state_ = State::NeedRow;
    column_ = 0;
    failed_ = false;
    piece_.clear();
    delivered_ = 0;
}

bool XmlListing::nextPiece()
{
    for (;;) {
        switch (state_) {
        case State::NeedRow: {
            if (!stmt_) {
                state_ = State::Closing;
                break;
            }
            const int rc = sqlite3_step(stmt_);
            if (rc == SQLITE_ROW) {
                state_ = State::Match;
            } else {
                // The end of the rows, or a step that failed: either way no
                // row follows, and a failure must not pass for the end.
                failed_ = rc != SQLITE_DONE;
                finish();
                state_ = State::Closing;
            }
            break;
        }
        case State::Closing:
            if (depth_ == 0)
                return false;
            piece_ = columns_[open_[--depth_].column].close;
            return true;
        case State::Match: {
            if (depth_ == 0) {
                column_ = 0;
                state_ = State::Columns;
                break;
            }
            const OpenElement &deepest = open_[depth_ - 1];
            const unsigned char *key = sqlite3_column_text(stmt_, deepest.column);
            if (key && deepest.key == reinterpret_cast<const char *>(key)) {
                column_ = deepest.column + 1;
                state_ = State::Columns;
                break;
            }
            piece_ = columns_[deepest.column].close;
            --depth_;
            return true;
        }
        case State::Columns: {
            if (column_ >= static_cast<int>(columns_.size())) {
                state_ = State::NeedRow;
                break;
            }
            const int c = column_++;
            const Column &col = columns_[c];
            if (col.kind == Kind::Order || sqlite3_column_type(stmt_, c) == SQLITE_NULL)
                break;
            const char *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, c));
            if (!value)
                value = "";
            if (col.kind == Kind::Keyed) {
                OpenElement &e = open_[depth_++];
                e.column = c;
                e.key = value;
                piece_ = col.open;
                return true;
            }
            piece_ = col.open;
            appendListingText(piece_, value);
            piece_ += col.close;
            return true;
        }
        }
    }
}

ViStatus XmlListing::write(char *buffer, size_t size, size_t used, ViUInt32 *length)
{
    for (;;) {
        if (delivered_ < piece_.size()) {
            const size_t room = size - 1 - used;
            const size_t rest = piece_.size() - delivered_;
            const size_t n = rest < room ? rest : room;
            memcpy(buffer + used, piece_.data() + delivered_, n);
            used += n;
            delivered_ += n;
            if (delivered_ < piece_.size()) {
                buffer[used] = '\0';
                *length = static_cast<ViUInt32>(used);
                return TQDAQ_WARN_MORE_TEXT;
            }
        }
        piece_.clear();
        delivered_ = 0;
        if (!nextPiece()) {
            buffer[used] = '\0';
            *length = static_cast<ViUInt32>(used);
            return failed_ ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS;
        }
    }
}

StreamListing::~StreamListing()
{
    sqlite3_finalize(stmt);
}

void endListings(Session *s)
{
    delete s->listing;
    s->listing = nullptr;
    delete s->streamListing;
    s->streamListing = nullptr;
}

namespace
{

// ---- Generic listings ----------------------------------------------------------

// One call of a generic listing: starts it when none is unfinished (the
// query is only built then, so later calls' filters are not looked at),
// continues it when it is of the same kind, refuses another kind.
template <typename BuildQuery>
ViStatus runListing(Session *s, ListingKind kind, const char *errorFormat, BuildQuery build, char *buffer,
                    ViUInt32 size, ViUInt32 *length)
{
    if (!buffer || !length)
        return VI_ERROR_INV_PARAMETER;
    *length = 0;
    // Every call must at least hold the header whole; smaller buffers are
    // refused before anything is written.
    if (size < TQDAQ_LISTING_MIN_SIZE)
        return VI_ERROR_INV_PARAMETER;
    if (s->listing && s->listing->kind != kind)
        return VI_ERROR_INV_SETUP;
    size_t used = 0;
    if (!s->listing) {
        sqlite3_stmt *stmt = prepareListing(s->db, build());
        if (!stmt) {
            traceAlways(errorFormat, sqlite3_errmsg(s->db));
            buffer[0] = '\0';
            return TQDAQ_ERROR_STATEMENT;
        }
        auto *listing = new (std::nothrow) Listing;
        if (!listing) {
            sqlite3_finalize(stmt);
            buffer[0] = '\0';
            return VI_ERROR_ALLOC;
        }
        listing->kind = kind;
        listing->writer.start(stmt);
        s->listing = listing;
        memcpy(buffer, kHeader, kHeaderLength);
        used = kHeaderLength;
    }
    const ViStatus st = s->listing->writer.write(buffer, size, used, length);
    if (st != TQDAQ_WARN_MORE_TEXT) {
        delete s->listing;
        s->listing = nullptr;
    }
    return st;
}

// The trace of a listing call: the text's first ten characters, the size,
// the length's address and the length, -1 and no text on failure.
struct TraceOut {
    const char *text;
    unsigned long length;
};
TraceOut traceOut(ViStatus st, const char *buffer, const ViUInt32 *length)
{
    if (st < VI_SUCCESS || !buffer || !length)
        return {"", static_cast<unsigned long>(static_cast<ViUInt32>(-1))};
    return {buffer, static_cast<unsigned long>(*length)};
}

// ---- tqdaq_listStreams -----------------------------------------------------------

// "<stream><name>...</name><handle>...</handle></stream>" for a stream, with
// the stream engine's 32-bit value of the stream as its handle; nothing for
// a stream that has no value (its destruction has begun).
bool streamItem(TQStream *stream, std::string &item)
{
    const uint32_t value = tqstream_streamValue(stream);
    if (value == 0)
        return false;
    const char *name = stream->streamGetName ? stream->streamGetName(stream) : stream->name;
    item = "<stream><name>";
    if (name)
        platform::appendEscapedXml(item, std::string_view(name, strnlen(name, TQ_STREAM_NAME_SIZE)));
    item += "</name><handle>";
    item += std::to_string(value);
    item += "</handle></stream>";
    return true;
}

enum StreamPhase { kFormulaStream = 1, kNextMember = 2, kMember = 3, kClosing = 4, kDone = 5 };

ViStatus listStreams(Session *s, char *buffer, ViUInt32 size, ViUInt32 *length)
{
    if (!buffer || !length)
        return VI_ERROR_INV_PARAMETER;
    *length = 0;
    if (size < TQDAQ_STREAM_LISTING_MIN_SIZE)
        return VI_ERROR_INV_PARAMETER;
    size_t used = 0;
    if (!s->streamListing) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(s->db,
                               "select vresource.deviceHandle,vresource.vresource_id from "
                               "vresource,db_resource,system where db_resource.db_id=system.db_id  and "
                               "system.system_id=1  and db_resource.vresource_id=vresource.vresource_id",
                               -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            buffer[0] = '\0';
            return TQDAQ_ERROR_STATEMENT;
        }
        auto *l = new (std::nothrow) StreamListing;
        if (!l) {
            sqlite3_finalize(stmt);
            buffer[0] = '\0';
            return VI_ERROR_ALLOC;
        }
        l->stmt = stmt;
        l->phase = kFormulaStream;
        s->streamListing = l;
        memcpy(buffer, kStreamsHeader, kStreamsHeaderLength);
        used = kStreamsHeaderLength;
    }
    StreamListing *l = s->streamListing;
    for (;;) {
        if (l->itemPending) {
            // Items go whole or wait for the next buffer.
            if (used + l->item.size() + 1 > size) {
                buffer[used] = '\0';
                *length = static_cast<ViUInt32>(used);
                // A buffer that cannot hold the item even empty would never
                // get further: refused, the listing waits for a larger one.
                return used == 0 ? VI_ERROR_INV_PARAMETER : TQDAQ_WARN_MORE_TEXT;
            }
            memcpy(buffer + used, l->item.data(), l->item.size());
            used += l->item.size();
            l->itemPending = false;
        }
        switch (l->phase) {
        case kFormulaStream:
            l->phase = kNextMember;
            if (s->formulaStream && streamItem(s->formulaStream, l->item))
                l->itemPending = true;
            break;
        case kNextMember: {
            const int rc = sqlite3_step(l->stmt);
            if (rc == SQLITE_ROW) {
                l->phase = kMember;
            } else {
                l->failed = rc != SQLITE_DONE;
                l->phase = kClosing;
            }
            break;
        }
        case kMember: {
            l->phase = kNextMember;
            const char *mark = reinterpret_cast<const char *>(sqlite3_column_text(l->stmt, 0));
            const char *id = reinterpret_cast<const char *>(sqlite3_column_text(l->stmt, 1));
            if (!mark) {
                // Open here while another process held the mark, and that
                // one has closed since.
                OpenResource *r = instanceOf(s, nullptr, id ? devicedb::parseInt64(id) : std::nullopt);
                if (r && r->stream && streamItem(r->stream, l->item))
                    l->itemPending = true;
                break;
            }
            if (!devicedb::parseInt64(mark)) {
                // A mark nobody could have written: the list cannot be
                // trusted further. It is closed and reported as failed.
                l->failed = true;
                l->phase = kClosing;
                break;
            }
            // Marks of closed instances name no open instance here; under
            // another process's mark this session may have its own.
            OpenResource *r = instanceOf(s, mark, id ? devicedb::parseInt64(id) : std::nullopt);
            if (r && r->stream && streamItem(r->stream, l->item))
                l->itemPending = true;
            break;
        }
        case kClosing:
            sqlite3_finalize(l->stmt);
            l->stmt = nullptr;
            l->item = kStreamsEnd;
            l->itemPending = true;
            l->phase = kDone;
            break;
        case kDone:
        default: {
            const bool failed = l->failed;
            delete l;
            s->streamListing = nullptr;
            buffer[used] = '\0';
            *length = static_cast<ViUInt32>(used);
            return failed ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS;
        }
        }
    }
}

} // namespace

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_listUsers(ViSession session, ViConstString userName, ViChar *buffer, ViUInt32 size,
                                ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return runListing(
            s, ListingKind::Users, "listusers query error: %s\n", [&] { return usersQuery(userName); }, buffer, size,
            length);
    });
}

TQ_API ViStatus tqdaq_listModels(ViSession session, ViInt16 vendor, ViInt16 model, ViConstString category,
                                 ViChar *buffer, ViUInt32 size, ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return runListing(
            s, ListingKind::Models, "listModels query error: %s\n",
            [&] {
                const std::string name = escaped(category);
                return modelsQuery(vendor, model, category ? name.c_str() : nullptr);
            },
            buffer, size, length);
    });
}

TQ_API ViStatus tqdaq_listDBs(ViSession session, ViConstString productName, ViChar *buffer, ViUInt32 size,
                              ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return runListing(
            s, ListingKind::DBs, "listDBs query error: %s\n", [&] { return dbsQuery(productName); }, buffer, size,
            length);
    });
}

TQ_API ViStatus tqdaq_listVresources(ViSession session, ViConstString name, ViChar *buffer, ViUInt32 size,
                                     ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = runListing(
            s, ListingKind::Vresources, "listVresource query error: %s\n", [&] { return vresourcesQuery(name); },
            buffer, size, length);
        const TraceOut out = traceOut(st, buffer, length);
        trace(s, "tqdaq_listDBResources(" TQ_SESSION_FMT ",%.10s,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              out.text, static_cast<unsigned long>(size), ul(length), out.length, ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_listPresources(ViSession session, ViConstString name, ViChar *buffer, ViUInt32 size,
                                     ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return runListing(
            s, ListingKind::Presources, "listPresource query error: %s\n", [&] { return presourcesQuery(name); },
            buffer, size, length);
    });
}

TQ_API ViStatus tqdaq_listConfigs(ViSession session, ViConstString vresource, ViInt32 sequence, ViConstString category,
                                  ViConstString index, ViConstString property, ViChar *buffer, ViUInt32 size,
                                  ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = runListing(
            s, ListingKind::Configs, "listConfigs query error: %s\n",
            [&] {
                const std::string categoryName = escaped(category), propertyName = escaped(property);
                return configsQuery(vresource, category ? categoryName.c_str() : nullptr,
                                    property ? propertyName.c_str() : nullptr);
            },
            buffer, size, length);
        const TraceOut out = traceOut(st, buffer, length);
        trace(s, "tqdaq_listConfigs(" TQ_SESSION_FMT ",%s,%#lx,%s,%s,%s,%.10s,%#lx,%#lx(%#lx)) retVal=%#lx\n",
              TQ_SESSION_ARGS(s), orNull(vresource), static_cast<unsigned long>(static_cast<uint32_t>(sequence)),
              orNull(category), orNull(index), orNull(property), out.text, static_cast<unsigned long>(size), ul(length),
              out.length, ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_listFormulas(ViSession session, ViConstString dbName, ViChar *buffer, ViUInt32 size,
                                   ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = runListing(
            s, ListingKind::Formulas, "listformula query error: %s\n", [&] { return formulasQuery(dbName); }, buffer,
            size, length);
        const TraceOut out = traceOut(st, buffer, length);
        trace(s, "tqdaq_listFormulas(" TQ_SESSION_FMT ",%.10s,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              out.text, static_cast<unsigned long>(size), ul(length), out.length, ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_listStreams(ViSession session, ViChar *buffer, ViUInt32 size, ViUInt32 *length)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = listStreams(s, buffer, size, length);
        const TraceOut out = traceOut(st, buffer, length);
        trace(s, "tqdaq_listStreams(" TQ_SESSION_FMT ",%.10s,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              out.text, static_cast<unsigned long>(size), ul(length), out.length, ul(st));
        return st;
    });
}
