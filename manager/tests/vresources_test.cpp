// Virtual resources: creating one with its model's options, and what the
// message sink and the database's own instrument are told.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

namespace
{

constexpr ViUInt16 kTestModel = 200;

// The application database, the test model with two option categories (one
// item without a default) and a configuration category that is no option,
// and an existing resource "taken".
struct CreateDb : AppDb {
    CreateDb()
    {
        testModel = d.addTestModel();
        const int64_t nameItem = d.addInstrumentNameOption(testModel);
        d.exec("update ui_item set dflt='' where ui_item_id=" + std::to_string(nameItem));
        const std::string cat = d.value("select category_id from ui_item where ui_item_id=" + std::to_string(nameItem));
        d.exec("insert into ui_item (category_id,type,property,dflt) values (" + cat + ",'menu','Count','4')");
        const int64_t second = d.insert("insert into category (name) values ('More options')");
        d.exec("insert into model_options (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(second) + ")");
        modeItem = d.insert("insert into ui_item (category_id,type,property,dflt) values (" + std::to_string(second) +
                            ",'menu','Mode',NULL)");
        const int64_t config = d.insert("insert into category (name) values ('Settings')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(config) + ")");
        d.exec("insert into ui_item (category_id,type,property,dflt) values (" + std::to_string(config) +
               ",'int','Rate','100')");
        d.exec("insert into vresource (name,model_id,description) values ('taken'," + std::to_string(testModel) +
               ",'kept')");
    }
    // "property=value" of a resource's options, sorted; NULL values as NULL.
    std::string options(const std::string &name)
    {
        return d.value("select group_concat(p, ',') from (select ui_item.property || '=' || "
                       "ifnull(vresource_options.value,'NULL') as p from vresource_options,ui_item,vresource where "
                       "vresource_options.ui_item_id=ui_item.ui_item_id and "
                       "vresource_options.vresource_id=vresource.vresource_id and vresource.name='" +
                       name + "' order by 1)");
    }
    std::string tables()
    {
        return d.value("select group_concat(v, ';') from (select name || '|' || model_id || '|' || description as v "
                       "from vresource union all select vresource_id || '|' || ui_item_id || '|' || "
                       "ifnull(value,'NULL') from vresource_options order by 1)");
    }
    int64_t testModel = 0, modeItem = 0;
};

struct CreateCase {
    const char *what;
    const char *arrange; // SQL run after the session opened, or null
    const char *name;
    ViUInt16 model;
    const char *description;
    ViStatus expected;
    const char *message;      // what the sink receives
    const char *notification; // the uiEvent argument the database's instrument receives, or null
};

class CreateVresource : public ::testing::TestWithParam<CreateCase>
{
};

TEST_P(CreateVresource, CreatesWholeOrNotAtAll)
{
    const CreateCase &c = GetParam();
    CreateDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    Sink sink;
    ASSERT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
    if (c.arrange)
        w.d.exec(c.arrange);
    const std::string before = w.tables();
    const size_t logged = readLines(w.d.appLog()).size();

    EXPECT_EQ(tqdaq_createVresource(s, c.name, kVendor, c.model, c.description), c.expected) << c.what;

    if (c.expected == VI_SUCCESS) {
        EXPECT_EQ(w.options(c.name), "Count=4,InstrumentName=,Mode=NULL") << c.what;
        EXPECT_EQ(w.d.value(std::string("select description from vresource where name='") + c.name + "'"),
                  c.description ? c.description : "")
            << c.what;
        EXPECT_EQ(w.d.value(std::string("select model_id from vresource where name='") + c.name + "'"),
                  std::to_string(w.testModel));
    } else {
        EXPECT_EQ(w.tables(), before) << c.what << ": nothing is kept";
    }
    EXPECT_EQ(sink.take(), std::vector<std::string>{c.message}) << c.what;
    auto log = readLines(w.d.appLog());
    std::vector<std::string> told;
    for (size_t i = logged; i < log.size(); ++i)
        if (log[i].rfind("doOperation uiEvent ", 0) == 0)
            told.push_back(log[i].substr(20));
    EXPECT_EQ(told, c.notification ? std::vector<std::string>{c.notification} : std::vector<std::string>{}) << c.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateVresource,
    ::testing::Values(
        CreateCase{"a new name", nullptr, "bridge1", kTestModel, "first bridge", VI_SUCCESS, "Created bridge1",
                   "create;completion;bridge1"},
        CreateCase{"a null description is stored empty", nullptr, "bridge2", kTestModel, nullptr, VI_SUCCESS,
                   "Created bridge2", "create;completion;bridge2"},
        CreateCase{"with no database selected nobody is told", "update system set db_id=NULL", "bridge3", kTestModel,
                   "d", VI_SUCCESS, "Created bridge3", nullptr},
        CreateCase{"a taken name", nullptr, "taken", kTestModel, "new", TQDAQ_ERROR_NAME_EXISTS,
                   "Resource taken already exists", "failed;duplicate;taken"},
        CreateCase{"an unknown model", nullptr, "bridge4", 999, "d", TQDAQ_ERROR_STATEMENT, "Failed to create bridge4",
                   "failed"},
        CreateCase{"an empty name", nullptr, "", kTestModel, "d", VI_ERROR_INV_PARAMETER, "Failed to create ",
                   "failed"},
        CreateCase{"a name with a quote", nullptr, "it's", kTestModel, "d", TQDAQ_ERROR_STATEMENT,
                   "Failed to create it's", "failed"},
        CreateCase{"an option that cannot be written takes the resource back",
                   "create trigger refuse before insert on vresource_options when new.ui_item_id="
                   "(select ui_item_id from ui_item where property='Mode') begin select raise(abort,'no'); end",
                   "bridge5", kTestModel, "d", TQDAQ_ERROR_STATEMENT, "Failed to create bridge5", "failed"},
        CreateCase{"not the controller (the refusal is reported, the notification refused too)",
                   "update system set user_id=(select users_id from users where username='other')", "bridge6",
                   kTestModel, "d", TQDAQ_ERROR_NOT_CONTROLLER, "Failed to create bridge6", nullptr}));

TEST(CreateVresourceCalls, NullNameAndUnknownSession)
{
    CreateDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_createVresource(s, nullptr, kVendor, kTestModel, "d"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_createVresource(s + 1, "x", kVendor, kTestModel, "d"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(w.d.value("select count(*) from vresource where name='x'"), "0");
    // What is created stays after the session ends.
    EXPECT_EQ(tqdaq_createVresource(s, "y", kVendor, kTestModel, "d"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select count(*) from vresource_options,vresource where name='y' and "
                        "vresource.vresource_id=vresource_options.vresource_id"),
              "3");
}

} // namespace
