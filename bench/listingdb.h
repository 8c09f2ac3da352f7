// A device database for the listing benchmarks: the application
// instrument as the selected database's model, a model 718 with three option
// items, and as many virtual resources of it (each a member with its
// options) as a benchmark asks for. VPNPPATH names it for the manager.
#pragma once

#include <sqlite3.h>

#include <string>

#include "benchdb.h"
#include "tqdaq.h"

namespace listingdb
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;

struct Database {
    std::string root;
    sqlite3 *db = nullptr;
    ViSession session = 0;
    int resources = 0;
    Database()
    {
        db = freshDeviceDb(root);
        exec("insert into model (vendor,model,platform,prefix,productname,pnplibname) values "
             "(15450,100,'sys','appinstrument','Application','appinstrument');"
             "insert into operation (model_id,operation) values (1,'uiEvent');"
             "insert into vresource (name,model_id) values ('system',1);"
             "insert into db (vresource_id) values (1);"
             "update system set db_id=1;"
             "insert into model (vendor,model,platform,prefix,productname,pnplibname) values "
             "(15450,1816,'pxi','tq718','Bridge digitizer','tqp718_32');"
             "insert into category (name) values ('Device Options');"
             "insert into model_options (model_id,category_id) values (2,1);"
             "insert into ui_item (category_id,type,label,property) values (1,'textbox','Name','InstrumentName'),"
             "(1,'int','Channels','AnalogChannelCount'),(1,'textbox','Serial','SerialNumber')");
        if (tqdaq_getHandle(&session, "operator", "", kVendor, kModel) != VI_SUCCESS)
            std::abort();
    }
    ~Database()
    {
        tqdaq_closeHandle(session);
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void exec(const std::string &sql)
    {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
    }
    // Grows the database to n virtual resources, each in "system" with its options.
    void ensure(int n)
    {
        exec("begin");
        for (; resources < n; ++resources) {
            const std::string name = "PXI" + std::to_string(resources) + "::INSTR";
            exec("insert into vresource (name,model_id,description) values ('" + name + "',2,'bridge digitizer')");
            exec("insert into db_resource (db_id,vresource_id) values (1,last_insert_rowid())");
            exec("insert into vresource_options (vresource_id,ui_item_id,value) select vresource_id, ui_item_id, "
                 "ui_item.property || '-" +
                 std::to_string(resources) + "' from vresource, ui_item where vresource.name='" + name + "'");
        }
        exec("commit");
    }
};

} // namespace listingdb
