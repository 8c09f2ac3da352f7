// A device database of its own for a manager benchmark: made by the
// project's set-up script in a new temporary folder, named by VPNPPATH for
// the manager, and opened read-write (waiting up to 5 s for a lock).
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

inline sqlite3 *freshDeviceDb(std::string &root)
{
    char dir[] = "/tmp/tqbench.XXXXXX";
    if (!mkdtemp(dir))
        std::abort();
    root = dir;
    const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null";
    if (std::system(cmd.c_str()) != 0)
        std::abort();
    setenv("VPNPPATH", root.c_str(), 1);
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2((root + "/winnt/tqdaq/device").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        std::abort();
    sqlite3_busy_timeout(db, 5000);
    return db;
}
