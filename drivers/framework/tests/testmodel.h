/* Exports of the test model's driver (libtqptest_32.so), a driver built
 * from the framework only for its tests: prefix tqtest, model code 0x999. */
#ifndef TQ_TESTMODEL_H
#define TQ_TESTMODEL_H

#include "tq/visatype.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQTEST_MODEL_CODE 0x999
/* Registers in BAR2: the option word read at open, the level register that
 * the one setting goes to, and the reset register. */
#define TQTEST_OPTION_REG 0x7004
#define TQTEST_LEVEL_REG  0x10
#define TQTEST_RESET_REG  0xE0
#define TQTEST_DEFAULT_LEVEL 0x5A

ViStatus tqtest_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
ViStatus tqtest_close(ViSession vi);
ViStatus tqtest_reset(ViSession vi);
ViStatus tqtest_self_test(ViSession vi, ViInt16 *result, ViChar *message);
ViStatus tqtest_error_query(ViSession vi, ViInt32 *code, ViChar *message);
ViStatus tqtest_error_message(ViSession vi, ViStatus status, ViChar *message);
ViStatus tqtest_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
ViStatus tqtest_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
ViStatus tqtest_autoConnectToFirst(ViSession *vi);
ViStatus tqtest_setSimulationMode(ViSession vi, ViBoolean mode);
ViStatus tqtest_getSimulationMode(ViSession vi, ViBoolean *ignored);
ViStatus tqtest_setInstrumentName(ViSession vi, ViConstString name);
ViStatus tqtest_getInstrumentName(ViSession vi, ViChar *name);

/* The model's one setting: stored in simulation, written to the level
 * register otherwise. */
ViStatus tqtest_setLevel(ViSession vi, ViUInt32 level);
ViStatus tqtest_getLevel(ViSession vi, ViUInt32 *level);
/* What the framework did to the session. */
ViStatus tqtest_getState(ViSession vi, ViUInt16 *mode, ViUInt32 *optionWord, ViChar *resourceName);
/* Routes the session's status lines to a callback. */
typedef void (*TqTestLineSink)(void *context, const char *line);
ViStatus tqtest_setStatusSink(ViSession vi, TqTestLineSink sink, void *context);
/* Register fields through the framework's shared operations. */
ViStatus tqtest_setField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 value);
ViStatus tqtest_getField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 *value);

#ifdef __cplusplus
}
#endif

#endif
