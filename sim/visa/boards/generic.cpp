// The generic PXI instrument: an identity, a plain register file in BAR0 and
// BAR2 and an interrupt line that only the test control raises. Drivers of
// models without a board of their own, and the framework's tests, run
// against it.
#include "board.h"

namespace tq::sim {

namespace {

class GenericBoard : public Board {
public:
    GenericBoard()
    {
        registers().setSize(VI_PXI_BAR0_SPACE, 0x1000);
        registers().setSize(VI_PXI_BAR2_SPACE, 0x10000);
    }
};

} // namespace

std::unique_ptr<Board> makeGenericBoard() { return std::make_unique<GenericBoard>(); }

} // namespace tq::sim
