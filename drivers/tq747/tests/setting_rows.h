// Table-driven checks of the stored settings, shared by the carrier's tests
// and its module's. A row of a register setting names the setter, its
// getter and where the setting lives; the check runs the common rules every
// such setting follows: the setter writes its field alone and keeps the rest
// of the register, the getter reads the card and keeps what it read, a
// value or index out of range changes nothing, a failed access is returned
// and stores nothing, and a simulated session only stores. A row of a
// setting kept in the session only checks that it is kept and refused alike,
// and never reaches the card; a row of names, that they must fit.
#pragma once

#include <climits>
#include <string>
#include <vector>

#include "fixture747.h"

namespace tq747test
{

using IndexSetter = ViStatus (*)(ViSession, ViInt16, ViInt16);
using IndexGetter = ViStatus (*)(ViSession, ViInt16, ViInt16 *);

constexpr ViSession kUnknownSession = 0x7777;

// lo and hi of a setter that takes any value.
constexpr ViInt16 kAnyValue = SHRT_MIN;

struct FieldRow {
    const char *name;
    IndexSetter set;
    IndexGetter get;
    ViInt16 count;       // the indexes taken are 1 to count
    ViInt16 index;       // the index of the row
    ViBusAddress offset; // its register, from the window's base
    ViUInt16 width;      // in bytes
    ViUInt32 mask;       // its field in that register
    ViUInt32 background; // the register before the setter runs
    ViInt16 value;       // a value in range, and the field it writes
    ViUInt32 code;
    ViInt16 read;        // a field put there behind the driver's back (not value's),
    ViUInt32 readCode;   // and what the getter reads it as
    ViInt16 lo, hi;      // the values the setter takes (kAnyValue: any)
    ViInt16 other;       // for a setter that takes any value: one besides 0 and 1,
    ViUInt32 otherCode;  // and the field it writes for it
    ViUInt32 unreadable; // a field the getter refuses to decode (0: none)

    bool takesAny() const { return lo == kAnyValue; }
    // The values next to the range, which the setter refuses.
    std::vector<ViInt16> refused() const
    {
        if (takesAny())
            return {};
        return {static_cast<ViInt16>(lo - 1), static_cast<ViInt16>(hi + 1)};
    }
};

// A setting kept in the session only: setter of In, getter of Out; an
// enable takes 0 and 1 only, the others any value.
template <typename In, typename Out> struct KeptRow {
    const char *name;
    ViStatus (*set)(ViSession, ViInt16, In);
    ViStatus (*get)(ViSession, ViInt16, Out *);
    ViInt16 count;
    ViInt16 index;
    In value;
    bool enable;

    std::vector<In> refused() const
    {
        if (!enable)
            return {};
        return {In(-1), In(2)};
    }
};

// Names kept in the channel records: at most 127 characters.
struct NameRow {
    const char *name;
    ViStatus (*set)(ViSession, ViInt16, ViConstString);
    ViStatus (*get)(ViSession, ViInt16, ViChar *);
    ViInt16 count;
};

// Range operations of one bit per channel: a write (null: read only) and
// its read, on registers from base.
using BitsOperation = ViStatus (*)(ViSession, ViInt16, ViInt16, ViUInt8 *);
struct BitsRow {
    const char *name;
    BitsOperation write;
    BitsOperation read;
    ViBusAddress base;
};

// What an indexed getter answers into.
template <typename F> struct GetterOutput;
template <typename Out> struct GetterOutput<ViStatus (*)(ViSession, ViInt16, Out *)> {
    using type = Out;
};

class SettingTest : public CarrierTest
{
  protected:
    virtual ViSession openSession() = 0;
    virtual void closeSession(ViSession vi) = 0;
    virtual ViStatus simulate(ViSession vi, ViBoolean on) = 0;
    // Where the rows' offsets start in the carrier's BAR2.
    virtual ViBusAddress windowBase() const = 0;
    // A register of the window as the card holds it, and a change behind the driver's back.
    virtual ViUInt32 board(ViBusAddress offset, ViUInt16 width) = 0;
    virtual void setBoard(ViBusAddress offset, ViUInt16 width, ViUInt32 value) = 0;

    ViInt16 stored(const FieldRow &row, ViSession vi)
    {
        ViInt16 got = -1;
        EXPECT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        return got;
    }

    // Indexes out of range, a null output and an unknown session, refused
    // by the setter and the getter of a row.
    template <typename Row> void expectRefused(const Row &row, ViSession vi)
    {
        typename GetterOutput<decltype(row.get)>::type got{};
        for (ViInt16 index : {ViInt16(-1), ViInt16(0), ViInt16(row.count + 1)}) {
            EXPECT_EQ(row.set(vi, index, row.value), VI_ERROR_INV_PARAMETER) << index;
            EXPECT_EQ(row.get(vi, index, &got), VI_ERROR_INV_PARAMETER) << index;
        }
        EXPECT_EQ(row.get(vi, row.index, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.set(kUnknownSession, row.index, row.value), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(row.get(kUnknownSession, row.index, &got), VI_ERROR_INV_OBJECT);
    }

    void check(const FieldRow &row)
    {
        SCOPED_TRACE(row.name);
        ViSession vi = openSession();
        ASSERT_NE(vi, VI_NULL);
        const ViUInt32 expected = (row.background & ~row.mask) | row.code;

        setBoard(row.offset, row.width, row.background);
        clearWrites();
        ASSERT_EQ(row.set(vi, row.index, row.value), VI_SUCCESS);
        auto log = writes();
        ASSERT_EQ(log.size(), 1u) << "one write of the whole register";
        EXPECT_EQ(log[0].offset, windowBase() + row.offset);
        EXPECT_EQ(log[0].width, row.width);
        EXPECT_EQ(board(row.offset, row.width), expected) << std::hex << "the field alone changes";
        EXPECT_EQ(stored(row, vi), row.value);

        if (row.takesAny()) {
            ASSERT_EQ(row.set(vi, row.index, row.other), VI_SUCCESS);
            EXPECT_EQ(board(row.offset, row.width), (expected & ~row.mask) | row.otherCode) << std::hex;
        }

        setBoard(row.offset, row.width, (expected & ~row.mask) | row.readCode);
        EXPECT_EQ(stored(row, vi), row.read) << "the getter reads the card";
        if (row.unreadable) {
            setBoard(row.offset, row.width, (expected & ~row.mask) | row.unreadable);
            ViInt16 got = -1;
            EXPECT_EQ(row.get(vi, row.index, &got), VI_ERROR_INV_PARAMETER) << "a field that is no value";
            setBoard(row.offset, row.width, (expected & ~row.mask) | row.readCode);
        }

        // The read and the write of the setter's read-modify-write, and the
        // getter's read, failing: the status comes back, nothing is stored.
        for (ViUInt16 accesses : {SIMVISA_READS, SIMVISA_WRITES}) {
            ASSERT_EQ(sim().simvisa_failAccess(kCarrier, 1, accesses, VI_ERROR_CONN_LOST), VI_SUCCESS);
            EXPECT_EQ(row.set(vi, row.index, row.value), VI_ERROR_CONN_LOST) << accesses;
            ASSERT_EQ(sim().simvisa_clearFaults(kCarrier), VI_SUCCESS);
        }
        ASSERT_EQ(sim().simvisa_failAccess(kCarrier, 1, SIMVISA_READS, VI_ERROR_CONN_LOST), VI_SUCCESS);
        ViInt16 got = -1;
        EXPECT_EQ(row.get(vi, row.index, &got), VI_ERROR_CONN_LOST);
        EXPECT_EQ(got, -1);
        ASSERT_EQ(sim().simvisa_clearFaults(kCarrier), VI_SUCCESS);
        EXPECT_EQ(board(row.offset, row.width), (expected & ~row.mask) | row.readCode) << std::hex;

        ASSERT_EQ(simulate(vi, 1), VI_SUCCESS);
        EXPECT_EQ(stored(row, vi), row.read) << "what was read stays stored, failures stored nothing";
        clearWrites();
        ASSERT_EQ(row.set(vi, row.index, row.value), VI_SUCCESS);
        EXPECT_EQ(stored(row, vi), row.value);
        for (ViInt16 bad : row.refused()) {
            EXPECT_EQ(row.set(vi, row.index, bad), VI_ERROR_INV_PARAMETER) << bad;
            EXPECT_EQ(stored(row, vi), row.value) << bad;
        }
        if (row.takesAny()) {
            ASSERT_EQ(row.set(vi, row.index, row.other), VI_SUCCESS);
            EXPECT_EQ(stored(row, vi), row.other) << "kept as given";
        }
        EXPECT_TRUE(writes().empty()) << "a simulated session only stores";

        ASSERT_EQ(simulate(vi, 0), VI_SUCCESS);
        clearWrites();
        for (ViInt16 bad : row.refused())
            EXPECT_EQ(row.set(vi, row.index, bad), VI_ERROR_INV_PARAMETER) << bad;
        expectRefused(row, vi);
        EXPECT_TRUE(writes().empty()) << "what is refused touches nothing";
        closeSession(vi);
    }

    void check(const NameRow &row)
    {
        SCOPED_TRACE(row.name);
        ViSession vi = openSession();
        ASSERT_NE(vi, VI_NULL);
        const std::string longest(127, 'n');
        char name[256] = {};
        ASSERT_EQ(row.set(vi, row.count, longest.c_str()), VI_SUCCESS);
        ASSERT_EQ(row.get(vi, row.count, name), VI_SUCCESS);
        EXPECT_EQ(name, longest);
        EXPECT_EQ(row.set(vi, row.count, std::string(128, 'x').c_str()), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.set(vi, row.count, nullptr), VI_ERROR_INV_PARAMETER);
        ASSERT_EQ(row.get(vi, row.count, name), VI_SUCCESS);
        EXPECT_EQ(name, longest) << "a refused name leaves the stored one";
        for (ViInt16 index : {ViInt16(0), ViInt16(row.count + 1)}) {
            EXPECT_EQ(row.set(vi, index, "x"), VI_ERROR_INV_PARAMETER);
            EXPECT_EQ(row.get(vi, index, name), VI_ERROR_INV_PARAMETER);
        }
        EXPECT_EQ(row.get(vi, 1, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.set(kUnknownSession, 1, "x"), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(row.get(kUnknownSession, 1, name), VI_ERROR_INV_OBJECT);
        closeSession(vi);
    }

    template <typename In, typename Out> void check(const KeptRow<In, Out> &row)
    {
        SCOPED_TRACE(row.name);
        ViSession vi = openSession();
        ASSERT_NE(vi, VI_NULL);
        clearWrites();
        Out got{};
        ASSERT_EQ(row.set(vi, row.index, row.value), VI_SUCCESS);
        ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        EXPECT_EQ(got, static_cast<Out>(row.value));
        for (In bad : row.refused()) {
            EXPECT_EQ(row.set(vi, row.index, bad), VI_ERROR_INV_PARAMETER) << bad;
            ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
            EXPECT_EQ(got, static_cast<Out>(row.value)) << bad;
        }
        expectRefused(row, vi);
        EXPECT_TRUE(writes().empty()) << "kept in the session only";
        closeSession(vi);
    }
};

} // namespace tq747test
