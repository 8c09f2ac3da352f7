// Inside the resource manager: the session record, the open-resource record,
// the handle tables that turn both into 32-bit values, marks, the call trace
// and the checks every outside name passes before it reaches SQL.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "devicedb.h"
#include "formula_engine.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/guard.h"
#include "tq/platform/handles.h"
#include "tqdaq.h"
#include "tqpnp.h"

namespace tq::manager
{

// Longest user name a session holds (the users of the file are made with at
// most this many characters).
constexpr size_t kMaxUserName = 39;
// Longest resource, database, operation or library name taken from a caller.
constexpr size_t kMaxName = TQDAQ_NAME_SIZE - 1;
// Callers' message buffers hold this many bytes; messages are cut to fit.
constexpr size_t kMessageSize = 256;

struct Listing;       // an unfinished generic listing (listings.h)
struct StreamListing; // an unfinished tqdaq_listStreams

// A database-wide operation walk under way on a session, innermost first.
// Lives on the stack of the walk it describes.
struct DatabaseWalk {
    const char *operation;
    const char *argument;
    const DatabaseWalk *outer;
};

struct Session {
    std::string userName;
    sqlite3 *db = nullptr;
    // Statements of the calls that run again and again (opening lookups,
    // configuration), prepared once per connection.
    devicedb::StatementCache statements;
    TQStreamMsg *sink = nullptr;
    bool configTransaction = false;
    bool progressMessages = false;
    ViUInt16 simulationMode = 0;
    int32_t trace = 0;
    TQStreamMsg *spy = nullptr;
    ViSession defaultRM = 0;
    FormulaEngine *engine = nullptr;
    TQStream *formulaStream = nullptr;
    int64_t modelId = 0;
    ViUInt16 vendor = 0;
    ViUInt16 model = 0;
    ViSession handle = 0; // this session's value in the session table
    // Every instance this session loaded and has not unloaded yet, whatever
    // became of its mark (another process may clear marks).
    std::vector<struct OpenResource *> loaded;
    // Unfinished XML listings, each with its own statement on db.
    Listing *listing = nullptr;
    StreamListing *streamListing = nullptr;
    // Database-wide walks running on this session: an instrument that answers
    // one by asking for the same walk again is already part of it.
    const DatabaseWalk *databaseWalks = nullptr;
    // Set once the session's close has been asked for: callers find it no
    // more. A close asked for from within a manager call on the same thread
    // (a listener of an instrument called back during an operation) is done
    // when the outermost call returns; the record stays valid until then.
    bool closing = false;
    Session *nextDeferredClose = nullptr;
};

// One loaded driver or virtual instrument instance.
struct OpenResource {
    platform::LibraryHandle library = nullptr;
    TQStream *stream = nullptr;
    TQPnPHandle *pnp = nullptr;
    bool openedAsVirtual = false;
    uint32_t handle = 0; // this record's value in the resource table; its mark names it
    Session *owner = nullptr;
    // The virtual resource it is open as (0: none). A resource marked open
    // by another live process keeps that mark; this process then finds its
    // own instance through its session's list by this id.
    int64_t vresourceId = 0;
};

platform::HandleTable &sessionTable();
platform::HandleTable &resourceTable();

// Runs an export's body: no exception leaves it, and a statement failure
// while another connection held the database past the busy time-out
// answers TQDAQ_ERROR_DATABASE_BUSY, so that callers can tell "try again"
// from a broken database.
// Counts the manager calls running on this thread; the outermost one, as it
// returns, finishes the closes deferred while it ran.
class CallScope
{
  public:
    CallScope() noexcept;
    ~CallScope();
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;
};

template <typename F> ViStatus guardManager(F &&body) noexcept
{
    const CallScope scope;
    const uint64_t busyBefore = devicedb::busyCount();
    const ViStatus st = platform::guardStatus(body);
    return st == TQDAQ_ERROR_STATEMENT && devicedb::busyCount() != busyBefore ? TQDAQ_ERROR_DATABASE_BUSY : st;
}

// The session of a value, or null (0, closed or being closed, made up,
// another table's).
Session *findSession(ViSession handle);

// Marks written into users.handle and *.deviceHandle: the process and the
// handle-table value in one 64-bit number, so that a mark written by another
// process, or left behind by a closed record, is never taken for a live one.
int64_t markOf(uint32_t handle);
// The handle of a mark written by this process, or nullopt.
std::optional<uint32_t> handleOfMark(int64_t mark);
// The open record a stored mark names in this process, or null.
OpenResource *resourceOfMark(const char *markText);
// Who a stored mark belongs to: this process, another process that is still
// running, or nobody (a process that is gone, or no mark at all). Several
// processes may hold sessions on one file; none clears or takes over what a
// live other one marked.
enum class MarkOwner { ThisProcess, OtherProcess, Nobody };
MarkOwner markOwner(int64_t mark);
MarkOwner markOwner(const char *markText);
// The instance of a virtual resource in this session: the one its mark
// names, else the session's own instance opened while another process held
// the mark. Null when neither.
OpenResource *instanceOf(Session *s, const char *markText, std::optional<int64_t> vresourceId);

// A message into a caller's buffer of kMessageSize bytes (null: none), cut
// to fit and always terminated.
void setMessage(char *message, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Names from callers: null, longer than max or holding a single quote are
// refused before any statement is made (a quote never reached a statement
// that could run).
bool nameUsable(const char *name, size_t max = kMaxName);

// Names that become one directory level of a path (databases under the
// data path, streams in a capture directory): not empty, no '/' or '\\',
// not "." or "..".
bool pathLevelUsable(const char *name);

// Copies text into a TQDAQ_NAME_SIZE buffer; false (and out emptied) when it
// does not fit.
bool copyName(char *out, const char *text);

// The trace line: written while the session's switch is on.
void trace(const Session *s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Written whatever the switch says.
void traceAlways(const char *format, ...) __attribute__((format(printf, 1, 2)));
// "%#lx(%s)": the session value and its user name.
#define TQ_SESSION_FMT "%#lx(%s)"
#define TQ_SESSION_ARGS(s) static_cast<unsigned long>((s)->handle), (s)->userName.c_str()
// Statuses and addresses as trace lines print them ("%#lx").
inline unsigned long ul(ViStatus st)
{
    return static_cast<unsigned long>(static_cast<uint32_t>(st));
}
inline unsigned long ul(const void *p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}
inline const char *orNull(const char *text)
{
    return text ? text : "NULL";
}

// Steps of the session and of driver binding, shared by the exports.
ViStatus checkController(Session *s);
ViStatus openPnP(Session *s, const char *rsrcName, const char *instrumentName, const char *libStem, const char *prefix,
                 const char *pluginId, OpenResource **out);
ViStatus closeResource(Session *s, OpenResource *r);
ViStatus closeAllResources(Session *s);
// Unloads the instances the session still holds, without touching marks.
void unloadRemaining(Session *s);
ViStatus markResourceOpen(Session *s, const char *name, const char *dbResourceName, OpenResource *r);
ViStatus getVresource(Session *s, const char *name, bool openIfClosed, OpenResource **out);
ViStatus openPresource(Session *s, const char *name, OpenResource **out);
ViStatus getDB(Session *s, char *name);

// Lookups by name. vresourceIdByName: 0xBFFF0000 for no row, a statement
// failure or an id that does not parse. dbIdByName: a named database
// (0xBFFC010B unknown), or with no name the selected one (0xBFFC010B none,
// 0xBFFC0111 another model's). checkDatabaseModel: 0xBFFF0078 for an unknown
// name, 0xBFFC0111 for another model's.
ViStatus vresourceIdByName(Session *s, const char *name, int64_t *id);
ViStatus dbIdByName(Session *s, const char *name, int64_t *id);
ViStatus checkDatabaseModel(Session *s, const char *name);
ViStatus doOperation(Session *s, const char *name, const char *operation, const char *argument);
// Sends "reset" (mode 1) and the mode to the members (enabled ones, or the
// named one) and keeps the mode in the session when none refused it.
ViStatus setSimulationMode(Session *s, const char *name, ViUInt16 mode);

// Instrument event handlers installed through the manager are kept in a
// table of this process; the eventhandler rows hold only its marks, so a row
// written by another process, or forged, is never called.
void installRememberedHandlers(Session *s, const char *name, OpenResource *r);
// Empties the eventhandler table and forgets every handler this process kept.
void forgetEventHandlers(sqlite3 *db);
// Streams of the members (tqdaq_createStreams); setDB builds the new
// database's streams with it.
ViStatus createStreams(Session *s, const char *name, ViUInt16 mode, ViUInt16 engineFlag);
// Unregisters every stream from the engine and lets the members' streams go
// (tqdaq_closeStreams).
ViStatus closeStreams(Session *s);
// The time-stamp level of a capture directory for a local time, with its
// final '/': "apl07_0930152026/" for 7 April 2026, 09:30:15.
std::string captureStamp(const struct tm &localTime);

// A progress text for the session's message sink: printed while progress
// messages are on and a sink is registered, dropped otherwise. format takes
// exactly one %s, filled with text.
void progress(Session *s, const char *format, const char *text);
// Tells the selected database's own instrument of a change: "uiEvent" with
// the text through the operation walk; nothing is sent while no database is
// selected. The result is the walk's (ignored by most callers).
ViStatus notify(Session *s, const char *text);

// Creates a virtual resource of the model (vendor, model) with one option
// row per item of the model's option categories, valued with the item's
// default; reports the outcome to the sink and the database's instrument.
ViStatus createVresource(Session *s, const char *name, ViUInt16 vendor, ViUInt16 model, const char *description);

// Configuration databases: select (null or empty deselects), create (or
// select one that exists), clear (members, values, formulas, layouts).
ViStatus setDB(Session *s, const char *name);
ViStatus createDB(Session *s, const char *name);
ViStatus clearDB(Session *s, const char *name);
// Drops the session's unfinished listings and finalizes their statements, so
// that nothing keeps its connection from closing.
void endListings(Session *s);

// Formula building: empties the session's engine and fills it from the
// configuration of the selected database (one member, or every enabled one
// when name is null or empty) and from the stored formulas, then parses.
// message: a kMessageSize buffer (or null) for the reason of a failure.
ViStatus buildFormulas(Session *s, const char *name, ViUInt16 seq, char *message);
// A channel's direction from its category's channelDirection value: 0 input,
// 1 output, the integer a driver property gives, or a negative status.
ViStatus getChannelDirection(OpenResource *r, const char *attribute, const char *index);
// Hardware configuration: opens every enabled member and the database's own
// instrument, resets the stand-alone ones (first step 1), sends the stored
// non-virtual values of the steps and builds the formulas for the last one.
// message: a kMessageSize buffer (or null) for "Success" or the failure.
ViStatus configureHW(Session *s, ViUInt16 first, ViUInt16 last, char *message);
// The id of a category of a virtual resource's model, by its unescaped
// name; 0xBFFF0000 when there is none.
ViStatus getCategoryId(Session *s, const char *category, const char *name, int64_t *id);
// The id of a stored formula of the selected database; 0xBFFF0000 when none.
ViStatus findFormulaId(Session *s, const char *name, int64_t *id);

} // namespace tq::manager
