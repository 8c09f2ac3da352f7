#include "tq/frontpanel/session.h"

namespace tq::frontpanel
{

ViStatus changeSimulation(int16_t &state, int16_t &mode, ViInt16 requested)
{
    ViStatus st = VI_SUCCESS;
    if (requested == 1) {
        state = 2;
        mode = 1;
    } else if (requested == 0) {
        if (state == 2) {
            state = 1;
            mode = 0;
        } else if (state == 3) {
            st = static_cast<ViStatus>(0xBFFC0017);
        }
    } else {
        st = VI_ERROR_INV_PARAMETER;
    }
    return st;
}

} // namespace tq::frontpanel
