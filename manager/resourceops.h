// Inside the resource manager: the steps that virtual resources, physical
// resources and their assignment share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "manager.h"

namespace tq::manager
{

// The maker's id and the models whose codes decide how a device is read.
constexpr ViUInt16 kMakerId = 0x3c5a;
constexpr ViUInt16 kCarrierModel = 0x747;
constexpr ViUInt16 kSiteModuleModel = 0x740;
constexpr ViUInt16 kCrateControllerModel = 0x761;
// The carrier's populated-site mask: bit s-1 set when site s holds a module.
constexpr ViUInt16 kSiteMaskSpace = VI_PXI_BAR2_SPACE;
constexpr ViBusAddress kSiteMaskOffset = 0x3C;
// Carriers met on the way when a module's carrier is followed: a chain of
// adapter rows longer than this (or one that loops) answers "does not fit".
constexpr int kMaxCarrierDepth = 4;

// The (vendor, model) of a device name, through VISA, else through the
// physical-interface plug-ins. Both are 0 after a failure.
ViStatus getVendorModel(Session *s, const char *name, ViUInt16 *vendor, ViUInt16 *model);
// Whether the device fits the virtual resource (its carrier, model, options
// and occupied sites); every doubt answers false.
bool isCompatible(Session *s, const char *presource, int64_t vresourceId);

// Closes a virtual resource's driver when it is open; 0 when it is not.
ViStatus closeIfOpen(Session *s, const char *vresource);

ViStatus linkVresource(Session *s, const char *name);
ViStatus setVresourceEnable(Session *s, const char *name, ViInt16 enable);
ViStatus syncVresourceOptions(Session *s, const char *vresource, const char *presource);
ViStatus updateVresourceOption(Session *s, const char *vresource, const char *property, const char *value);
ViStatus assignResource(Session *s, const char *vresource, const char *presource);

using Rows = std::vector<std::vector<std::optional<std::string>>>;

// The first `columns` columns of every row of a query, as texts (none for
// NULL), read before the caller changes anything; false when it fails.
template <typename... Values>
bool readRows(Session *s, Rows &rows, int columns, const char *sql, const Values &...values)
{
    devicedb::Statement q(s->db, sql, values...);
    if (!q.ok())
        return false;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        auto &row = rows.emplace_back();
        for (int c = 0; c < columns; ++c)
            row.push_back(q.text(c) ? std::optional<std::string>(q.text(c)) : std::nullopt);
    }
    return rc == SQLITE_DONE;
}

// Whether a query finds a row (false when it fails).
template <typename... Values> bool hasRow(Session *s, const char *sql, const Values &...values)
{
    devicedb::Statement q(s->db, sql, values...);
    return q.ok() && q.step() == SQLITE_ROW;
}

} // namespace tq::manager
