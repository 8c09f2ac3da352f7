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

struct BoardKind {
    const char *name;
    std::unique_ptr<Board> (*make)();
};

const BoardKind kBoards[] = {
    {"generic", makeGenericBoard},
    {"tq718", makeBoard718},
    {"tq747", makeBoard747},
    {"tq726", makeBoard726},
    {"tq775", makeBoard775},
};

} // namespace

std::unique_ptr<Board> makeBoard(const std::string &kind)
{
    for (const BoardKind &k : kBoards)
        if (strcasecmp(k.name, kind.c_str()) == 0)
            return k.make();
    return nullptr;
}

} // namespace tq::sim
