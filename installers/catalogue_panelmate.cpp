// The catalogues of the two front-panel virtual instruments.
#include <string>

#include "blocks.h"
#include "catalogues.h"
#include "items.h"
#include "tqdatapath.h"

namespace tq::installer
{

namespace
{

const char *const kDriverSentence = "The driver of the front-panel application.";

Item unsupportedOption(const char *property, const char *label, const char *tooltip, const char *what)
{
    Item i = checkbox(property, label, 0, "1", 65535, tooltip, what);
    return i;
}

} // namespace

const Catalogue &cataloguePanelmatePro()
{
    static const std::string fileMenu =
        "whether the front panel offers its file menu. The instrument does not accept this setting: the setter "
        "answers every value with the status operation not supported, so the option configures nothing.";
    static const std::string postProcess =
        "whether the front panel offers post-processing of recorded data. The instrument does not accept this "
        "setting: the setter answers every value with the status operation not supported, so the option "
        "configures nothing.";
    static const std::string editMenu =
        "whether the front panel offers its edit menu. The instrument does not accept this setting: the setter "
        "answers every value with the status operation not supported, so the option configures nothing.";
    static const Catalogue c{
        2,
        "sys",
        "panelmatepro",
        "PanelMatePro",
        "panelmatepro_32",
        {kDriverSentence},
        {
            initializeFunction(),
            Operation{"probe", 0, "Perform the probe operation. ", "panelmatepro_doOperation",
                      {"with the operation probe performs the probe action that ProbeAction chooses."}},
            Operation{"uiEvent", 0, "Handle a UI event ", "panelmatepro_doOperation",
                      {"with the operation uiEvent handles one command of the user interface, given as words "
                       "separated by ';'."}},
            Category{CategoryKind::Options,
                     "Device Options",
                     65535,
                     "",
                     "",
                     0,
                     {},
                     {deviceOptionsHelp()},
                     {instrumentNameItem(),
                      unsupportedOption("FileMenuSupport", "File Menu Support", "Support the file menu. ",
                                        fileMenu.c_str()),
                      unsupportedOption("PostProcessSupport", "Post Process Support",
                                        "Support post-processing of recorded data. ", postProcess.c_str()),
                      unsupportedOption("EditMenuSupport", "Edit Menu Support", "Support the edit menu. ",
                                        editMenu.c_str())}},
            Category{
                CategoryKind::Configuration,
                "Global",
                1,
                "",
                "Global",
                0,
                {},
                {"Global functions configure what the instrument does when it probes the hardware, whether it "
                 "records, and where recorded data goes."},
                {menu("ProbeAction", "Probe Action", 125, "1", 1, "Select action performed by Probe operation. ",
                      "the action of the probe operation. The automatic population makes the database match the "
                      "hardware present exactly: it creates a database if none exists, deletes physical resources "
                      "that are gone, creates new ones, assigns the existing virtual resources, removes those that "
                      "cannot be assigned and creates virtual resources for the physical ones left unassigned. The "
                      "assignment only assigns the existing virtual resources to the hardware present. The hardware "
                      "refresh only updates the physical resources.",
                      {{"Auto Populate", 1, "TQPMPROPROBEAUTOPOP", "populate the database from the hardware present"},
                       {"Assign", 2, "TQPMPROPROBEASSIGN", "refresh the physical resources and assign all virtual "
                                                           "resources"},
                       {"Refresh Hardware", 3, "TQPMPROPROBEHW", "refresh the physical resources only"}}),
                 checkbox("ProbeOnStartEnable", "Probe on Startup Enable", 125, "1", 2,
                          "Enables the probe operation to be performed when the application is opened. ",
                          "whether the probe operation runs when the application opens: true probes at start-up, "
                          "false leaves the database as it is."),
                 checkbox("RecordEnable", "Record Enable", 100, "0", 3, "Record acquired data to data files. ",
                          "whether acquired data is captured into data files: true records every acquisition, false "
                          "only shows it."),
                 textbox("DataPath", "Data Path", 300, TQ_PANELMATEPRO_DATA_PATH, 4,
                         "Set the directory path to where data files will be stored. ",
                         "the directory that data files are recorded to.")}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

const Catalogue &cataloguePanelmate()
{
    static const Catalogue c{
        1,
        "sys",
        "panelmate",
        "PanelMate",
        "panelmate_32",
        {kDriverSentence},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "panelmate_doOperation",
                      {"with the operation reset runs reset on every enabled instrument of the selected "
                       "configuration database, in the order of their rank, and leaves the instruments in their "
                       "default state."}},
            Operation{"start", 0, "Start data acquisition. ", "panelmate_doOperation",
                      {"with the operation start gathers the streams of the enabled instruments, configures the "
                       "hardware with the stored values and starts every instrument of the selected configuration "
                       "database in the order of their rank."}},
            Operation{"stop", 0, "Stop data acquisition. ", "panelmate_doOperation",
                      {"with the operation stop stops every instrument of the selected configuration database in "
                       "the order of their rank. The streams stay until the next start or until the window "
                       "closes."}},
            Operation{"uiEvent", 0, "Handle a UI event ", "panelmate_doOperation",
                      {"with the operation uiEvent handles one command of the front panel, given as words "
                       "separated by ';'. Notifications of the resource manager need no answer and are "
                       "ignored."}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
