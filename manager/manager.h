// Inside the resource manager: the session record, the open-resource record,
// the handle tables that turn both into 32-bit values, marks, the call trace
// and the checks every outside name passes before it reaches SQL.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devicedb.h"
#include "formula_engine.h"
#include "tq/platform/dynlib.h"
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

struct Session {
    std::string userName;
    sqlite3 *db = nullptr;
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
};

// One loaded driver or virtual instrument instance.
struct OpenResource {
    platform::LibraryHandle library = nullptr;
    TQStream *stream = nullptr;
    TQPnPHandle *pnp = nullptr;
    bool openedAsVirtual = false;
    uint32_t handle = 0; // this record's value in the resource table; its mark names it
    Session *owner = nullptr;
};

platform::HandleTable &sessionTable();
platform::HandleTable &resourceTable();

// The session of a value, or null (0, closed, made up, another table's).
Session *findSession(ViSession handle);

// Marks written into users.handle and *.deviceHandle: the process and the
// handle-table value in one 64-bit number, so that a mark written by another
// process, or left behind by a closed record, is never taken for a live one.
int64_t markOf(uint32_t handle);
// The handle of a mark written by this process, or nullopt.
std::optional<uint32_t> handleOfMark(int64_t mark);
// The open record a stored mark names in this process, or null.
OpenResource *resourceOfMark(const char *markText);

// Names from callers: null, longer than max or holding a single quote are
// refused before any statement is made (a quote never reached a statement
// that could run).
bool nameUsable(const char *name, size_t max = kMaxName);

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

// Formula building: empties the session's engine and fills it from the
// configuration of the selected database (one member, or every enabled one
// when name is null or empty) and from the stored formulas, then parses.
// message: a kMessageSize buffer (or null) for the reason of a failure.
ViStatus buildFormulas(Session *s, const char *name, ViUInt16 seq, char *message);
// A channel's direction from its category's channelDirection value: 0 input,
// 1 output, the integer a driver property gives, or a negative status.
ViStatus getChannelDirection(OpenResource *r, const char *attribute, const char *index);
// The id of a stored formula of the selected database; 0xBFFF0000 when none.
ViStatus findFormulaId(Session *s, const char *name, int64_t *id);
// Stored texts come back from "&amp;", "&lt;" and "&gt;" in one pass.
void unescapeXml(std::string &text);

} // namespace tq::manager
