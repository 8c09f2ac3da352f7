// Filling the session's formula engine from the device database: one formula
// per enabled channel of every enabled member (a free expression, a
// thermocouple conversion or the plain channel with its unit), then the
// formulas the user stored for the selected database; and keeping those
// stored formulas.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tq/platform/xmltext.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// Longest texts a driver is asked for: channel names, connector numbers and
// reference indexes, direction values.
constexpr ViInt32 kChannelNameSize = 64;
constexpr ViInt32 kIndexSize = 16;
constexpr ViInt32 kDirectionSize = 32;

// Reads a driver property into a std::string; the driver writes at most
// size - 1 characters and a terminator, and the buffer is terminated here
// too, whatever the driver did.
ViStatus readProperty(OpenResource *r, const char *property, const char *index, ViInt32 size, std::string &out)
{
    out.clear();
    if (!r || !r->pnp || !r->pnp->getPropertyByName)
        return VI_ERROR_NSUP_OPER;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    const ViStatus st = r->pnp->getPropertyByName(r->pnp->session, property, index, buffer.data(), size);
    buffer[static_cast<size_t>(size) - 1] = '\0';
    if (st >= VI_SUCCESS)
        out = buffer.data();
    return st;
}

ViStatus writeProperty(OpenResource *r, const char *property, const std::string &value)
{
    if (!r || !r->pnp || !r->pnp->setPropertyByName)
        return VI_ERROR_NSUP_OPER;
    return r->pnp->setPropertyByName(r->pnp->session, property, value.c_str());
}

// One configuration row of a channel, found or not; the statement itself may
// fail to prepare.
struct RowLookup {
    bool prepared = false;
    bool found = false;
    std::string value;
};

constexpr const char *kChannelRowSql =
    "select configs.value from configs,category_attributes where configs.seq_id=?  and configs.db_id=?  and "
    "configs.vresource_id=?  and configs.property_index=?  and category_attributes.category_id=configs.category_id "
    " and category_attributes.name=?  and category_attributes.value=configs.property  and configs.category_id=?";

// The row of the property playing a role for one channel. The property
// index is compared as stored: the enabled-channel walk handed it out.
RowLookup channelRow(Session *s, ViUInt16 seq, int64_t dbId, int64_t vresourceId, const std::string &index,
                     int64_t categoryId, const char *role)
{
    RowLookup out;
    Statement q(s->db, kChannelRowSql, static_cast<int64_t>(seq), dbId, vresourceId, index, role, categoryId);
    if (!q.ok())
        return out;
    out.prepared = true;
    if (q.step() == SQLITE_ROW) {
        out.found = true;
        if (const char *v = q.text(0))
            out.value = v;
    }
    return out;
}

// Attribute values looked up once per build, at its first thermocouple
// channel, and kept for the rest of the build.
struct ThermoCache {
    bool filled = false;
    std::string channelName, channelEnable, connectorProperty, connectorEnable, isoRefProperty;
    std::optional<int64_t> connectorCategory;
};

// A category attribute's value: nullopt for no row or a failed statement.
std::optional<std::string> categoryAttribute(Session *s, const char *attribute, int64_t categoryId,
                                             char *message = nullptr, bool *failed = nullptr)
{
    static constexpr const char *kSql = "select value from category_attributes where name=?  and category_id=?";
    Statement q(s->db, kSql, attribute, categoryId);
    if (!q.ok()) {
        setMessage(message, "Internal error query %s failed", kSql);
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    if (q.step() != SQLITE_ROW || !q.text(0)) {
        setMessage(message, "Internal error no tuple %s failed", kSql);
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    return std::string(q.text(0));
}

void fillThermoCache(Session *s, ThermoCache &cache, const char *memberName, int64_t categoryId, char *message)
{
    cache.filled = true;
    // Only the first lookup reports what went wrong.
    cache.channelName = categoryAttribute(s, "channelName", categoryId, message).value_or("");
    cache.channelEnable = categoryAttribute(s, "enableProperty", categoryId).value_or("");
    cache.connectorProperty = categoryAttribute(s, "connectorProperty", categoryId).value_or("");
    {
        Statement q(s->db,
                    "select category.category_id from vresource,ui,category,category_attributes where "
                    "vresource.model_id=ui.model_id  and ui.category_id=category.category_id  and vresource.name=? "
                    " and category.name=category_attributes.value  and category_attributes.name='connectorCatProperty'",
                    memberName);
        if (q.ok() && q.step() == SQLITE_ROW)
            cache.connectorCategory = q.int64(0);
    }
    if (cache.connectorCategory) {
        cache.connectorEnable = categoryAttribute(s, "enableProperty", *cache.connectorCategory).value_or("");
        cache.isoRefProperty = categoryAttribute(s, "isoRefChannelProperty", *cache.connectorCategory).value_or("");
    }
}

// The thermocouple set-up of one channel on its driver; the reference
// channel's name comes back in ref.
ViStatus setUpThermocouple(OpenResource *member, const ThermoCache &cache, const std::string &index, std::string &ref,
                           char *message)
{
    // Without the attributes that lead to the reference channel there is
    // nothing sensible to ask the driver.
    const std::pair<const char *, const std::string *> needed[] = {
        {"channelName", &cache.channelName},           {"enableProperty", &cache.channelEnable},
        {"connectorProperty", &cache.connectorProperty}, {"connector enableProperty", &cache.connectorEnable},
        {"connector isoRefChannelProperty", &cache.isoRefProperty}};
    for (const auto &[attribute, value] : needed)
        if (value->empty()) {
            setMessage(message, "Internal error no tuple %s failed", attribute);
            return TQDAQ_ERROR_STATEMENT;
        }
    std::string connector, refIndex;
    ViStatus st = readProperty(member, cache.connectorProperty.c_str(), index.c_str(), kIndexSize, connector);
    if (st < VI_SUCCESS)
        return st;
    st = readProperty(member, cache.isoRefProperty.c_str(), connector.c_str(), kIndexSize, refIndex);
    if (st < VI_SUCCESS)
        return st;
    st = readProperty(member, cache.channelName.c_str(), refIndex.c_str(), kChannelNameSize, ref);
    if (st < VI_SUCCESS)
        return st;
    if (ref.empty()) {
        ref = "ref" + refIndex;
        writeProperty(member, cache.channelName.c_str(), refIndex + "," + ref);
    }
    writeProperty(member, cache.channelEnable.c_str(), refIndex + ",1");
    return writeProperty(member, cache.connectorEnable.c_str(), connector + ",1");
}

struct BuildState {
    Session *s;
    ViUInt16 seq;
    char *message;
    ThermoCache cache;
};

// One enabled channel: its formula added to the engine, or a failure.
ViStatus buildChannel(BuildState &b, OpenResource *member, const char *memberName, TQStream *stream,
                      const char *streamName, int64_t dbId, int64_t vresourceId, const std::string &index,
                      int64_t categoryId)
{
    Session *s = b.s;
    FormulaEngine *engine = s->engine;

    std::string nameProperty;
    {
        Statement q(s->db,
                    "select ui_item.property from ui_item,category_attributes where "
                    "category_attributes.name='channelName'  and category_attributes.value=ui_item.property  and "
                    "ui_item.category_id=?",
                    categoryId);
        if (!q.ok() || q.step() != SQLITE_ROW || !q.text(0))
            return VI_SUCCESS; // a category without channel names has no formulas
        nameProperty = q.text(0);
    }
    std::string channelName;
    ViStatus st = readProperty(member, nameProperty.c_str(), index.c_str(), kChannelNameSize, channelName);
    if (st < VI_SUCCESS)
        return st;
    TQStreamChannel *channel = stream->streamGetChannel(stream, channelName.c_str());
    if (!channel) {
        setMessage(b.message, "Internal error: channel %s not found", channelName.c_str());
        return TQDAQ_ERROR_STATEMENT;
    }
    const std::string chName(channel->name, strnlen(channel->name, sizeof channel->name));
    const std::string chUnit(channel->eu, strnlen(channel->eu, sizeof channel->eu));
    const std::string formulaName = std::string(streamName) + "_" + chName;

    const RowLookup expression = channelRow(s, b.seq, dbId, vresourceId, index, categoryId, "formulaProperty");
    const RowLookup type = channelRow(s, b.seq, dbId, vresourceId, index, categoryId, "thermocoupleType");
    const RowLookup units = channelRow(s, b.seq, dbId, vresourceId, index, categoryId, "thermocoupleUnits");
    if (!expression.prepared || !type.prepared || !units.prepared) {
        setMessage(b.message, "Internal error query %s failed", kChannelRowSql);
        return TQDAQ_ERROR_STATEMENT;
    }
    std::optional<std::string> direction;
    {
        Statement q(s->db,
                    "select value from category_attributes where category_attributes.category_id=?  and "
                    "category_attributes.name='channelDirection'",
                    categoryId);
        if (!q.ok())
            return st;
        if (q.step() == SQLITE_ROW)
            direction = q.text(0) ? q.text(0) : "";
    }

    if (expression.found && (type.found || units.found)) {
        setMessage(b.message, "Thermocouple Type or Units not allowed with expression");
        return VI_ERROR_INV_SETUP;
    }
    if (type.found && !units.found) {
        setMessage(b.message, "Thermocouple Type set but Units unspecified");
        return VI_ERROR_INV_SETUP;
    }
    if (!type.found && units.found) {
        setMessage(b.message, "Thermocouple units set but type unspecified");
        return VI_ERROR_INV_SETUP;
    }

    if (expression.found) {
        std::string name = formulaName, op = "=";
        if (direction) {
            st = getChannelDirection(member, direction->c_str(), index.c_str());
            if (st == 1) {
                name = "<" + std::string(streamName) + "-" + chName + ">";
                op = " <- ";
            } else if (st != 0) {
                name.clear();
                op.clear();
            }
        }
        std::string text = expression.value;
        platform::unescapeXml(text.data());
        text.resize(std::strlen(text.c_str()));
        engine->formulaEngineAddFormula(engine, name.c_str(), op.c_str(), text.c_str());
        return st;
    }
    if (type.found) {
        if (!b.cache.filled)
            fillThermoCache(s, b.cache, memberName, categoryId, b.message);
        std::string ref;
        st = setUpThermocouple(member, b.cache, index, ref, b.message);
        if (st < VI_SUCCESS)
            return st;
        const char *suffix = ") 'degrees_c'";
        if (units.value == "degrees f")
            suffix = ") * 9/5 + 32 'degrees_f'";
        else if (units.value == "kelvin")
            suffix = ") - 273.15 'kelvins'";
        const std::string text = "thermo(<" + std::string(streamName) + "-" + chName + ">,<" + streamName + "-" +
                                 ref + ">," + type.value + suffix;
        engine->formulaEngineAddFormula(engine, formulaName.c_str(), "=", text.c_str());
        return st;
    }
    // The plain channel with its unit; output channels get none.
    if (direction) {
        st = getChannelDirection(member, direction->c_str(), index.c_str());
        if (st != 0)
            return st;
    }
    const std::string text = "<" + std::string(streamName) + "-" + chName + "> '" + chUnit + "'";
    engine->formulaEngineAddFormula(engine, formulaName.c_str(), "=", text.c_str());
    return st;
}

// The decimation stored for a member, within what a stream takes: 1 when
// none is stored or the value does not read.
std::optional<int32_t> storedDecimation(Session *s, ViUInt16 seq, const char *memberName, char *message)
{
    static constexpr const char *kSql =
        "select configs.value from configs,category_attributes,category,vresource,  system,ui where "
        "configs.seq_id=?  and configs.db_id=system.db_id  and configs.vresource_id=vresource.vresource_id  and "
        "configs.property=category_attributes.value  and vresource.name=?  and "
        "category_attributes.name='decimationProperty'  and category_attributes.category_id=category.category_id "
        " and category.name='Global'  and ui.model_id=vresource.model_id";
    Statement q(s->db, kSql, static_cast<int64_t>(seq), memberName);
    if (!q.ok()) {
        setMessage(message, "Internal error query %s failed", kSql);
        return std::nullopt;
    }
    long value = 1;
    if (q.step() == SQLITE_ROW && q.text(0)) {
        char *end = nullptr;
        errno = 0;
        const long v = std::strtol(q.text(0), &end, 10);
        if (end != q.text(0))
            value = errno == ERANGE ? (v < 0 ? 1 : INT32_MAX) : v;
    }
    // A decimation is a positive 32-bit count; the catalogue allows values
    // one beyond, which would wrap.
    if (value < 1)
        value = 1;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

struct Member {
    std::string name;
    bool onCarrier = false;
    bool carrierEnabled = false;
    std::string carrierName;
};

} // namespace

ViStatus getChannelDirection(OpenResource *r, const char *attribute, const char *index)
{
    if (!attribute)
        return TQDAQ_ERROR_STATEMENT;
    if (std::strcmp(attribute, "input") == 0)
        return 0;
    if (std::strcmp(attribute, "output") == 0)
        return 1;
    std::string value;
    const ViStatus st = readProperty(r, attribute, index, kDirectionSize, value);
    if (st < VI_SUCCESS)
        return st;
    int direction = 0;
    char rest = 0;
    if (std::sscanf(value.c_str(), "%d%c", &direction, &rest) < 1)
        return TQDAQ_ERROR_STATEMENT;
    return direction;
}

namespace
{

ViStatus buildUntraced(Session *s, const char *name, ViUInt16 seq, char *message)
{
    if (!s->formulaStream || !s->engine)
        return VI_SUCCESS;
    FormulaEngine *engine = s->engine;
    engine->formulaEngineRmvAllFormulas(engine);

    std::vector<Member> members;
    {
#define TQ_MEMBERS_SQL                                                                                               \
    "select vresource.name, vadapter.backend_id,bdb_resource.enable,  bvresource.name from "                         \
    "db_resource,system,vresource left join vadapter on vadapter.frontend_id=vresource.vresource_id left "           \
    "join db_resource as bdb_resource  on bdb_resource.vresource_id=vadapter.backend_id left join vresource "        \
    "as bvresource  on bvresource.vresource_id=vadapter.backend_id where db_resource.db_id=system.db_id  and "       \
    "system.system_id=1  and db_resource.vresource_id=vresource.vresource_id"
        static constexpr const char *kNamedSql = TQ_MEMBERS_SQL " and vresource.name=?";
        static constexpr const char *kEnabledSql = TQ_MEMBERS_SQL "  and db_resource.enable=1";
#undef TQ_MEMBERS_SQL
        const bool named = name && *name;
        if (named && !nameUsable(name))
            return TQDAQ_ERROR_STATEMENT;
        Statement q = named ? Statement(s->statements, s->db, kNamedSql, name)
                            : Statement(s->statements, s->db, kEnabledSql);
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            Member m;
            m.name = q.text(0) ? q.text(0) : "";
            m.onCarrier = !q.isNull(1);
            m.carrierEnabled = q.text(2) && std::strcmp(q.text(2), "1") == 0;
            m.carrierName = q.text(3) ? q.text(3) : "";
            members.push_back(std::move(m));
        }
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }

    BuildState b{s, seq, message, {}};
    ViStatus status = VI_SUCCESS;
    std::string lastStreamName;
    for (const Member &m : members) {
        OpenResource *member = nullptr;
        if (getVresource(s, m.name.c_str(), true, &member) < VI_SUCCESS || !member)
            return TQDAQ_ERROR_STATEMENT;
        TQStream *stream = member->stream;
        if (m.onCarrier) {
            if (!m.carrierEnabled)
                continue;
            OpenResource *carrier = nullptr;
            if (getVresource(s, m.carrierName.c_str(), true, &carrier) < VI_SUCCESS || !carrier) {
                status = VI_SUCCESS;
                continue;
            }
            stream = carrier->stream;
        }
        if (!stream)
            continue;
        const std::string streamName = stream->streamGetName(stream);
        lastStreamName = streamName;

        struct Channel {
            int64_t dbId, vresourceId, categoryId;
            std::string index;
        };
        std::vector<Channel> channels;
        {
            static constexpr const char *kSql =
                "select configs.db_id,configs.vresource_id,  configs.property_index,configs.category_id from "
                "configs,system,category_attributes,vresource where system.system_id=1  and "
                "system.db_id=configs.db_id  and configs.seq_id=?  and configs.vresource_id=vresource.vresource_id "
                " and vresource.name=?  and category_attributes.name='enableProperty'  and "
                "category_attributes.value=configs.property  and category_attributes.category_id=configs.category_id";
            Statement q(s->db, kSql, static_cast<int64_t>(seq), m.name);
            if (!q.ok()) {
                setMessage(message, "Internal error query %s failed", kSql);
                return TQDAQ_ERROR_STATEMENT;
            }
            while (q.step() == SQLITE_ROW) {
                const auto dbId = q.int64(0), vId = q.int64(1), catId = q.int64(3);
                if (!dbId || !vId || !catId)
                    continue;
                channels.push_back({*dbId, *vId, *catId, q.text(2) ? q.text(2) : ""});
            }
        }
        bool failed = false;
        for (const Channel &c : channels) {
            const ViStatus cst = buildChannel(b, member, m.name.c_str(), stream, streamName.c_str(), c.dbId,
                                              c.vresourceId, c.index, c.categoryId);
            if (cst < VI_SUCCESS) {
                failed = true;
                status = cst;
            }
        }
        if (failed)
            break;
        const auto decimation = storedDecimation(s, seq, m.name.c_str(), message);
        if (!decimation) {
            status = TQDAQ_ERROR_STATEMENT;
            break;
        }
        stream->streamSetDecimation(stream, *decimation);
    }
    if (status < VI_SUCCESS)
        return status;

    // Stored formulas take the name of the last member stream read, or of
    // the output stream when the build read none.
    if (lastStreamName.empty())
        lastStreamName = s->formulaStream->streamGetName(s->formulaStream);
    {
        Statement q(s->statements, s->db,
                    "select formula.name, formula.operator, formula.expression from formula,system where "
                    "system.db_id=formula.db_id  and system.system_id=1");
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        while (q.step() == SQLITE_ROW) {
            const std::string stored = lastStreamName + "_" + (q.text(0) ? q.text(0) : "");
            engine->formulaEngineAddFormula(engine, stored.c_str(), q.text(1) ? q.text(1) : "",
                                            q.text(2) ? q.text(2) : "");
        }
    }
    return engine->parseFormulas(engine, message);
}

} // namespace

ViStatus buildFormulas(Session *s, const char *name, ViUInt16 seq, char *message)
{
    const ViStatus st = buildUntraced(s, name, seq, message);
    trace(s, "tqdaq_buildFormulas(" TQ_SESSION_FMT ",%s,%#lx,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
          static_cast<unsigned long>(seq), st < VI_SUCCESS && message ? message : "", ul(st));
    return st;
}

ViStatus findFormulaId(Session *s, const char *name, int64_t *id)
{
    Statement q(s->db,
                "select formula_id from formula,system where formula.db_id=system.db_id  and system.system_id=1  and "
                "formula.name=?",
                name);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const auto v = q.int64(0);
    if (!v)
        return TQDAQ_ERROR_STATEMENT;
    *id = *v;
    return VI_SUCCESS;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_linkFormula(ViSession session, ViConstString name, ViConstString op, ViConstString expression)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = checkController(s);
        if (st >= VI_SUCCESS) {
            int64_t id = 0;
            if (!name || !op || !expression) {
                st = TQDAQ_ERROR_STATEMENT;
            } else if (findFormulaId(s, name, &id) >= VI_SUCCESS) {
                st = execStatement(s->db, "update formula set expression=? where formula_id=?", expression, id) ==
                             SQLITE_DONE
                         ? VI_SUCCESS
                         : TQDAQ_ERROR_STATEMENT;
            } else if ((st = dbIdByName(s, nullptr, &id)) >= VI_SUCCESS) {
                st = execStatement(s->db, "insert into formula (db_id,name,operator,expression) values (?,?,?,?)", id,
                                   name, op, expression) == SQLITE_DONE
                         ? VI_SUCCESS
                         : TQDAQ_ERROR_STATEMENT;
            }
        }
        trace(s, "tqdaq_linkDBFormula(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              orNull(expression), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_unlinkFormula(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = checkController(s);
        int64_t id = 0;
        if (st >= VI_SUCCESS)
            st = name ? findFormulaId(s, name, &id) : TQDAQ_ERROR_STATEMENT;
        if (st >= VI_SUCCESS)
            st = execStatement(s->db, "delete from formula where formula_id=?", id) == SQLITE_DONE
                     ? VI_SUCCESS
                     : TQDAQ_ERROR_STATEMENT;
        trace(s, "tqdaq_unlinkDBFormula(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_unlinkAllFormulae(ViSession session)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = checkController(s);
        if (st >= VI_SUCCESS)
            st = execStatement(s->db, "delete from formula where db_id=(select db_id from system where system_id=1)") ==
                         SQLITE_DONE
                     ? VI_SUCCESS
                     : TQDAQ_ERROR_STATEMENT;
        trace(s, "tqdaq_unlinkAllFormulae(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
        return st;
    });
}
