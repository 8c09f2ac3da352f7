/* One manager session on the demonstration's device database: the resource
 * manager loads the application instrument, which logs what it is told, and
 * runs "start" and "stop" on the selected configuration database.
 *
 * scripts/demo-session makes the database and runs this program with
 * VPNPPATH pointing at it. */
#include <stdio.h>

#include "tqdaq.h"

static int report(const char *what, ViStatus status)
{
    printf("  %-36s %#x\n", what, (unsigned)status);
    return status >= VI_SUCCESS;
}

int main(void)
{
    ViSession session = 0;
    char name[TQDAQ_NAME_SIZE] = "";
    if (!report("tqdaq_getHandle(operator)", tqdaq_getHandle(&session, "operator", "", 0x3c5a, 100)))
        return 1;
    report("tqdaq_getDB", tqdaq_getDB(session, name));
    printf("  selected configuration database:     %s\n", name);
    report("tqdaq_getController", tqdaq_getController(session, name));
    printf("  controller:                          %s\n", name);
    /* A formula kept with the database; the next formula build adds it to
     * the session's output stream. */
    report("tqdaq_linkFormula(doubled)",
           tqdaq_linkFormula(session, "doubled", "=", "<daq-AnalogChannel1> * 2 'volts'"));
    report("tqdaq_doOperation(start)", tqdaq_doOperation(session, NULL, "start", NULL));
    report("tqdaq_doOperation(stop)", tqdaq_doOperation(session, NULL, "stop", NULL));
    return report("tqdaq_closeHandle", tqdaq_closeHandle(session)) ? 0 : 1;
}
