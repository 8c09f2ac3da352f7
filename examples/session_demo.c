/* One manager session on the demonstration's device database: the resource
 * manager loads the application instrument, which logs what it is told,
 * records the simulated model 718 as a physical resource, gives it a virtual
 * resource in the selected configuration database, prints the users and the
 * models as the XML listings give them, and runs "start" and "stop" on that
 * database.
 *
 * scripts/demo-session makes the database and runs this program with
 * VPNPPATH pointing at it. */
#include <stdio.h>

#include "tqdaq.h"

/* Prints the users' or the models' listing (vendor and model 0: every model
 * but the virtual instruments) read in parts, as a caller with a small buffer
 * would. */
static void printListing(const char *what, ViSession session, int users)
{
    char part[256];
    ViUInt32 length = 0;
    ViStatus status;
    printf("  %s:\n    ", what);
    do {
        status = users ? tqdaq_listUsers(session, NULL, part, sizeof part, &length)
                       : tqdaq_listModels(session, 0, 0, NULL, part, sizeof part, &length);
        if (status >= VI_SUCCESS)
            fputs(part, stdout);
    } while (status == TQDAQ_WARN_MORE_TEXT);
    printf("\n    (%#x)\n", (unsigned)status);
}

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
    report("tqdaq_createPresource(PXI1::14::INSTR)", tqdaq_createPresource(session, "PXI1::14::INSTR"));
    report("tqdaq_assignAllPresources", tqdaq_assignAllPresources(session, NULL));
    printListing("tqdaq_listUsers", session, 1);
    printListing("tqdaq_listModels", session, 0);
    report("tqdaq_doOperation(start)", tqdaq_doOperation(session, NULL, "start", NULL));
    report("tqdaq_doOperation(stop)", tqdaq_doOperation(session, NULL, "stop", NULL));
    return report("tqdaq_closeHandle", tqdaq_closeHandle(session)) ? 0 : 1;
}
