// The sessions a driver test opens, closed after it whatever it asserted.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tq/visatype.h"
#include "tqstream.h"

namespace tq::test
{

// A name as a template argument.
template <size_t N> struct FixedName {
    constexpr FixedName(const char (&text)[N]) { std::copy_n(text, N, this->text); }
    char text[N];
};

// A driver's entry points that the tests use, the name of the stream they
// ask for, and whether its init and close may answer a warning where the
// tests expect success.
template <auto Init, auto Close, auto GetStream, FixedName StreamName, bool WarningsPass = true> struct DriverEntries {
    static constexpr auto init = Init;
    static constexpr auto close = Close;
    static constexpr auto getStream = GetStream;
    static constexpr const char *streamName = StreamName.text;
    static constexpr bool warningsPass = WarningsPass;
};

// The base of a driver's fixtures (Driver: its DriverEntries).
template <class Driver> class DriverTest : public ::testing::Test
{
  protected:
    // Opens a session on the named instrument.
    ViSession open(const char *name, ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        expectSuccess(Driver::init(const_cast<ViRsrc>(name), 0, reset, &vi), name);
        keep(vi);
        return vi;
    }
    // A session without an instrument (simulation mode).
    ViSession openWithoutInstrument()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(Driver::init(nullptr, 0, 0, &vi), VI_SUCCESS);
        keep(vi);
        return vi;
    }
    // Closes a session before the end of the test.
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        expectSuccess(Driver::close(vi), "close");
    }
    // Closes what the test left open.
    void closeAll()
    {
        for (ViSession vi : open_)
            Driver::close(vi);
        open_.clear();
    }
    void keep(ViSession vi)
    {
        if (vi)
            open_.push_back(vi);
    }

    static TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(Driver::getStream(vi, Driver::streamName, &s), VI_SUCCESS);
        return s;
    }

    static void expectSuccess(ViStatus status, const char *what)
    {
        if constexpr (Driver::warningsPass) {
            EXPECT_GE(status, VI_SUCCESS) << what;
        } else {
            EXPECT_EQ(status, VI_SUCCESS) << what;
        }
    }

    std::vector<ViSession> open_;
};

} // namespace tq::test
