// The board kinds an inventory can name. A new simulated board is one file
// in this folder and one line in the table below.
#include <strings.h>

#include "board.h"

namespace tq::sim {

std::unique_ptr<Board> makeGenericBoard();
std::unique_ptr<Board> makeBoard718();
std::unique_ptr<Board> makeBoard747();
std::unique_ptr<Board> makeBoard726();
std::unique_ptr<Board> makeBoard775();

namespace {

// The maker's PCI vendor ID, which the drivers' find expressions name.
constexpr uint16_t kManufacturer = 0x3c5a;

struct BoardKind {
    const char *name;
    std::unique_ptr<Board> (*make)();
    // What VI_ATTR_MANF_ID and VI_ATTR_MODEL_CODE answer when the inventory
    // names no identity: a board of a model is found as that model. The
    // generic board stands for no model in particular.
    uint16_t manufacturer, model;
};

const BoardKind kBoards[] = {
    {"generic", makeGenericBoard, 0, 0},
    {"tq718", makeBoard718, kManufacturer, 0x718},
    {"tq747", makeBoard747, kManufacturer, 0x747},
    {"tq726", makeBoard726, kManufacturer, 0x726},
    {"tq775", makeBoard775, kManufacturer, 0x775},
};

const BoardKind *findKind(const std::string &kind)
{
    for (const BoardKind &k : kBoards)
        if (strcasecmp(k.name, kind.c_str()) == 0)
            return &k;
    return nullptr;
}

} // namespace

std::unique_ptr<Board> makeBoard(const std::string &kind)
{
    const BoardKind *k = findKind(kind);
    return k ? k->make() : nullptr;
}

bool boardIdentity(const std::string &kind, uint16_t &manufacturer, uint16_t &model)
{
    const BoardKind *k = findKind(kind);
    if (!k)
        return false;
    manufacturer = k->manufacturer;
    model = k->model;
    return true;
}

} // namespace tq::sim
