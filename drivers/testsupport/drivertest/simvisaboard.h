// Suite set-up shared by the test-model tests: the simulated VISA library laid
// out where the binding looks, bound by the driver's first init, and its test
// control loaded from the same library.
#pragma once

#include <gtest/gtest.h>

#include "support/simvisa_testenv.h"
#include "testmodel.h"

inline void bindTestModelToSimulatedVisa(tq::test::SimVisa &sim)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(tqtest_close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim.load());
}
