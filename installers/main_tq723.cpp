// The installer of one model's catalogue: "insert" or "remove".
#include "catalogues.h"

int main(int argc, char **argv)
{
    return tq::installer::runInstaller(argc, argv, tq::installer::catalogue723());
}
