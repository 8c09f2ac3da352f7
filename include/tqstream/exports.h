/* Part of the stream engine's public interface; include tqstream.h.
 *
 * The flat interface over the stream engine's records, for programs that do
 * not call the records' function fields themselves. Each export takes the
 * record first, hands its results back through the caller's pointers and
 * returns a 32-bit status. Three result rules:
 *   - mapped: the record operation's own result translated to a status
 *     (0 -> 0, 1 -> 0x3FFC0107, 2 -> 0x3FFF0004, -4 -> 0xBFFF003C,
 *      -16 -> 0xBFFF003B, -22 -> 0xBFFF0015, anything else -> 0xBFFF0000);
 *   - always 0: whatever the operation returned;
 *   - found: 0 when the operation gave an object, the stated error when it
 *     gave none (the pointer is stored either way).
 * Each declaration below says which rule it follows.
 *
 * Every export refuses a null record with 0xBFFF000E (0xBFFF0078 for a null
 * stream channel) without calling anything, and one that hands an object back
 * refuses a null result pointer with 0xBFFF0078, so that no reference is
 * handed to nobody. Other result pointers may be null: the result is then
 * not stored.
 *
 * The twins whose names end in "l" take and give 32-bit counts and positions
 * for callers that keep them in 32-bit fields: a 32-bit argument is widened
 * with its sign; a 64-bit result outside the 32-bit range is given as the
 * nearest 32-bit value (INT32_MAX or INT32_MIN), never cut to its low bits.
 *
 * Objects handed out with a reference for the caller (new and looked-up
 * streams, readers, display windows, graph objects, formula engines, message
 * queues) are given back with the matching close export; closing passes a
 * copy of the caller's pointer, so the caller's variable is left as it was. */
#ifndef TQSTREAM_EXPORTS_H
#define TQSTREAM_EXPORTS_H

#include <stdint.h>

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqstream/display.h"
#include "tqstream/formula.h"
#include "tqstream/msgqueue.h"
#include "tqstream/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Streams ------------------------------------------------------------------ */

/* Copies at most size - 1 characters of the stream's name into buffer and
 * terminates it; *length (when given) receives the length copied. Size 0
 * writes nothing. 0; 0xBFFF0000 with an empty buffer when the stream gives no
 * name. */
TQ_API ViStatus tqstream_getName(TQStream *stream, char *buffer, uint16_t size, uint16_t *length);
/* Always 0. */
TQ_API ViStatus tqstream_getRate(TQStream *stream, double *rate);
TQ_API ViStatus tqstream_getNumberChannels(TQStream *stream, uint16_t *count);
TQ_API ViStatus tqstream_getScanSize(TQStream *stream, uint16_t *bytes);
/* Found, else 0xBFFF0078. The channel belongs to the stream (no reference). */
TQ_API ViStatus tqstream_getChannel(TQStream *stream, const char *name, TQStreamChannel **channel);
TQ_API ViStatus tqstream_getChannelByIndex(TQStream *stream, int16_t index, TQStreamChannel **channel);
/* Mapped; 0x3FFC0107 while more of the listing follows. */
TQ_API ViStatus tqstream_listAxes(TQStream *stream, char *buffer, uint32_t size, uint32_t *count);
/* Mapped. */
TQ_API ViStatus tqstream_addListener(TQStream *stream, TQStreamListenerFn function, void *context);
/* Always 0. */
TQ_API ViStatus tqstream_removeListener(TQStream *stream, TQStreamListenerFn function, void *context);
/* Mapped. */
TQ_API ViStatus tqstream_writeXML(TQStream *stream, const char *directory);
TQ_API ViStatus tqstream_readXML(TQStream *stream, const char *directory);
TQ_API ViStatus tqstream_newData(TQStream *stream, const void *data, int64_t scans, int32_t fileIndex);
/* The stream engine's own result, not a status: 0 an event of the mask came
 * (*event and message filled), -19 the stream closed, -20 time-out, -6 for a
 * null stream. */
TQ_API int32_t tqstream_wait(TQStream *stream, uint32_t mask, uint32_t timeoutMs, uint32_t *event, char *message);
/* Mapped: 0, 0xBFFF0015 on time-out, 0xBFFF0000 on any other failure. */
TQ_API ViStatus tqstream_lock(TQStream *stream, uint32_t timeoutMs);
/* 0 when the lock was released, 0xBFFF0000 when the caller did not hold it. */
TQ_API ViStatus tqstream_unlock(TQStream *stream);
/* Mapped. */
TQ_API ViStatus tqstream_installEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler,
                                             void *user, char *message);
TQ_API ViStatus tqstream_uninstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler,
                                               void *user);
TQ_API ViStatus tqstream_captureOpen(TQStream *stream, const char *fileName);
TQ_API ViStatus tqstream_captureOpenEx(TQStream *stream, const char *fileName, int32_t mode);
/* Always 0. */
TQ_API ViStatus tqstream_captureClose(TQStream *stream);
TQ_API ViStatus tqstream_setDecimation(TQStream *stream, int32_t decimation);
TQ_API ViStatus tqstream_getDecimation(TQStream *stream, int32_t *decimation);
TQ_API ViStatus tqstream_setBigFile(TQStream *stream, int32_t flag);
TQ_API ViStatus tqstream_getBigFile(TQStream *stream, int32_t *flag);
TQ_API ViStatus tqstream_setWriteHeaderFirst(TQStream *stream, int32_t flag);
TQ_API ViStatus tqstream_getWriteHeaderFirst(TQStream *stream, int32_t *flag);
/* Mapped: the default graph object's axes. */
TQ_API ViStatus tqstream_setGraphInfo(TQStream *stream, const char *unit, double center, double span, uint32_t colour);
TQ_API ViStatus tqstream_getGraphInfo(TQStream *stream, const char *unit, double *center, double *span,
                                      uint32_t *colour);
TQ_API ViStatus tqstream_setGraphBg(TQStream *stream, uint32_t colour, int32_t gridEnable);
TQ_API ViStatus tqstream_getGraphBg(TQStream *stream, uint32_t *colour, int32_t *gridEnable);
/* Found, else 0xBFFF0078: the default graph object with a reference for the
 * caller (tqstream_closeGraphObject). */
TQ_API ViStatus tqstream_getGraphObject(TQStream *stream, TQGraphObject **graphObject);
/* Mapped: a PNG image of the default graph object, freed with
 * tqstream_freeGraph. */
TQ_API ViStatus tqstream_getGraph(TQStream *stream, int32_t width, int32_t height, int32_t mode, double start,
                                  double duration, void **image, uint32_t *size);
/* Renders as tqstream_getGraph and writes the whole image to the file
 * descriptor: the rendering's result mapped, or 0xBFFF0000 when the image
 * could not be written completely. */
TQ_API ViStatus tqstream_writeGraph(TQStream *stream, int fd, int32_t width, int32_t height, int32_t mode, double start,
                                    double duration);
/* Always 0. */
TQ_API ViStatus tqstream_freeGraph(TQStream *stream, void *image);
/* Mapped. */
TQ_API ViStatus tqstream_getGraphNav(TQStream *stream, int32_t width, int32_t height, uint16_t *plotLeft,
                                     uint16_t *plotRight, uint16_t *plotBottom, uint16_t *plotTop);
/* Found, else 0xBFFF003C. A new window or one found by title comes with a
 * reference for the caller (tqstream_closeDisplayWindow); one found by index
 * does not. */
TQ_API ViStatus tqstream_newDisplayWindow(TQStream *stream, const char *title, int32_t x, int32_t y, int32_t width,
                                          int32_t height, TQDisplayWindow **window);
TQ_API ViStatus tqstream_getDisplayWindow(TQStream *stream, const char *title, TQDisplayWindow **window);
/* Always 0. */
TQ_API ViStatus tqstream_getNumberDisplayWindows(TQStream *stream, int32_t *count);
TQ_API ViStatus tqstream_getDisplayWindowByIndex(TQStream *stream, int32_t index, TQDisplayWindow **window);
/* Mapped. */
TQ_API ViStatus tqstream_verifyDisplayWindows(TQStream *stream);
/* Always 0. */
TQ_API ViStatus tqstream_setOutputRate(TQStream *stream, double rate);
TQ_API ViStatus tqstream_getOutputRate(TQStream *stream, double *rate);
TQ_API ViStatus tqstream_setOutputRecycleRate(TQStream *stream, double rate);
TQ_API ViStatus tqstream_getOutputRecycleRate(TQStream *stream, double *rate);
TQ_API ViStatus tqstream_getNumberOutputChannels(TQStream *stream, uint16_t *count);
TQ_API ViStatus tqstream_getOutputScanSize(TQStream *stream, uint16_t *bytes);
/* Found, else 0xBFFF0078. */
TQ_API ViStatus tqstream_getOutputChannel(TQStream *stream, const char *name, TQStreamChannel **channel);
TQ_API ViStatus tqstream_getOutputChannelByIndex(TQStream *stream, int16_t index, TQStreamChannel **channel);
/* Always 0; the operation's own result is stored at *result. */
TQ_API ViStatus tqstream_reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces,
                                      int64_t *result);
TQ_API ViStatus tqstream_completeWrite(TQStream *stream, int64_t count, int64_t *result);
/* Found, else 0xBFFF0000: a reader at position (whence TQ_WHENCE_*), with a
 * reference for the caller (tqstream_readerClose). */
TQ_API ViStatus tqstream_newReader(TQStream *stream, int64_t position, int32_t whence, TQReader **reader);
TQ_API ViStatus tqstream_newReaderl(TQStream *stream, int32_t position, int32_t whence, TQReader **reader);
/* The mean engineering value of each of the first min(maximum, channels)
 * channels over the newest count scans, into out[0...]; nothing is consumed.
 * *done (when given) receives the number of scans averaged, fewer than count
 * when fewer were there (0: out holds zeros). 0; 0xBFFF003C without memory
 * or when no reader can be opened; the stream's reserve failure mapped. *done
 * is 0 on every failure. */
TQ_API ViStatus tqstream_getAveraged(TQStream *stream, int64_t count, int64_t *done, uint16_t maximum, double *out);
TQ_API ViStatus tqstream_getAveragedl(TQStream *stream, int32_t count, int32_t *done, uint16_t maximum, double *out);
/* Drops the caller's reference. Always 0. Formula engines are closed with
 * tqstream_formulaEngineClose. */
TQ_API ViStatus tqstream_close(TQStream *stream);

/* ---- Stream channels ---------------------------------------------------------- */

/* Copies the channel's name into buffer, which holds TQ_CHANNEL_NAME_SIZE
 * bytes (its unit: TQ_CHANNEL_EU_SIZE bytes). 0; 0xBFFF0078 for a null
 * channel or buffer. */
TQ_API ViStatus tqstream_getChannelName(TQStreamChannel *channel, char *buffer);
TQ_API ViStatus tqstream_getChannelEU(TQStreamChannel *channel, char *buffer);
/* The channel's engineering value in one scan. Always 0. */
TQ_API ViStatus tqstream_getChannelEval(TQStreamChannel *channel, const void *scan, double *value);
/* The value in scan index of a block of whole scans laid end to end; a
 * negative index gives NaN. Always 0. */
TQ_API ViStatus tqstream_getChannelEvalEx(TQStreamChannel *channel, const void *block, int16_t index, double *value);
/* The value in scan index of the data of a piece list (as a reservation
 * hands it out); scans may be split between pieces. Past the end of the
 * pieces, or for a negative index, the value is NaN. Always 0. */
TQ_API ViStatus tqstream_getChannelEvalEx2(TQStreamChannel *channel, const TQPiece *pieces, int16_t index,
                                           double *value);
/* Always 0; the owning stream, no reference added. */
TQ_API ViStatus tqstream_getStreamFromChannel(TQStreamChannel *channel, TQStream **stream);
/* Mapped: the channel's entry in its stream's default graph object. */
TQ_API ViStatus tqstream_setGraphChannelEnable(TQStreamChannel *channel, int32_t enable);
/* 1 asynchronous, any other value synchronous (2). Always 0. */
TQ_API ViStatus tqstream_setOutputChannelSyncType(TQStreamChannel *channel, int16_t type);
TQ_API ViStatus tqstream_getOutputChannelSyncType(TQStreamChannel *channel, int16_t *type);
/* Writes value as the channel's value into one output scan. Always 0. */
TQ_API ViStatus tqstream_setChannelEval(TQStreamChannel *channel, void *outputScan, double value);

/* ---- Readers ------------------------------------------------------------------ */

/* Not a status: 0, or -1 when the reader has no stream (any more). No
 * reference is added. */
TQ_API int32_t tqstream_getStreamFromReader(TQReader *reader, TQStream **stream);
/* Always 0; the operation's result is stored at the last pointer. */
TQ_API ViStatus tqstream_readerSeek(TQReader *reader, int64_t offset, int32_t whence, int64_t *result);
TQ_API ViStatus tqstream_readerSeekl(TQReader *reader, int32_t offset, int32_t whence, int32_t *result);
TQ_API ViStatus tqstream_readerPeek(TQReader *reader, int64_t *count, int64_t *position, void **data);
TQ_API ViStatus tqstream_readerPeekl(TQReader *reader, void **data, int32_t *count, int32_t *position);
TQ_API ViStatus tqstream_readerAvail(TQReader *reader, int64_t *count);
TQ_API ViStatus tqstream_readerAvaill(TQReader *reader, int32_t *count);
TQ_API ViStatus tqstream_readerRead(TQReader *reader, void *destination, int64_t count, int64_t *result);
TQ_API ViStatus tqstream_readerReadl(TQReader *reader, void *destination, int32_t count, int32_t *result);
TQ_API ViStatus tqstream_readerReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count,
                                           int64_t *result);
/* As tqstream_readerReserveRead, the result limited to the 32-bit range. */
TQ_API ViStatus tqstream_readerReserveReadl(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count,
                                            int64_t *result);
TQ_API ViStatus tqstream_readerCompleteRead(TQReader *reader, int64_t count, int64_t *result);
TQ_API ViStatus tqstream_readerCompleteReadl(TQReader *reader, int32_t count, int32_t *result);
/* Found, else 0xBFFF0000: a stream holding a copy of the next count scans. */
TQ_API ViStatus tqstream_readerCloneStream(TQReader *reader, int64_t count, TQStream **stream);
/* Detaches the reader from its stream and drops the caller's reference.
 * Always 0. */
TQ_API ViStatus tqstream_readerClose(TQReader *reader);

/* ---- Stream files ------------------------------------------------------------- */

/* 0 with the file's stream (tqstream_close), or 0xBFFF00A1 when the file
 * cannot be opened as a stream file. */
TQ_API ViStatus tqstream_openFileStream(const char *path, TQStream **stream);
/* Writes the whole stream file as tab-separated text: the first failure
 * mapped, else 0. */
TQ_API ViStatus tqstream_convertFileStreamAscii(const char *streamFile, const char *textFile);

/* ---- Formula engine ----------------------------------------------------------- */

/* Found, else 0xBFFF0000. */
TQ_API ViStatus tqstream_newFormulaEngine(void *owner, TQFormulaEngine **engine);
/* 0; 0xBFFF0000 when the operation failed. */
TQ_API ViStatus tqstream_formulaEngineRegisterStream(TQFormulaEngine *engine, TQStream *stream);
TQ_API ViStatus tqstream_formulaEngineAddFormula(TQFormulaEngine *engine, const char *name, const char *op,
                                                 const char *expression);
/* Always 0. */
TQ_API ViStatus tqstream_formulaEngineRmvFormula(TQFormulaEngine *engine, const char *name);
TQ_API ViStatus tqstream_formulaEngineRmvAllFormulas(TQFormulaEngine *engine);
/* 0; 0xBFFF0000 when the operation failed. */
TQ_API ViStatus tqstream_formulaEngineCreateDfltFormulas(TQFormulaEngine *engine);
TQ_API ViStatus tqstream_formulaEngineParse(TQFormulaEngine *engine, char *message);
/* Always 0; the scans evaluated are stored at *result. */
TQ_API ViStatus tqstream_formulaEngineEvalScans(TQFormulaEngine *engine, int64_t count, int64_t *result);
TQ_API ViStatus tqstream_formulaEngineEvalScansl(TQFormulaEngine *engine, int32_t count, int32_t *result);
/* Found, else 0xBFFF0000: the formula output stream, with a reference for
 * the caller (tqstream_close). */
TQ_API ViStatus tqstream_formulaEngineGetStream(TQFormulaEngine *engine, const char *name, TQStream **stream);
/* Mapped. */
TQ_API ViStatus tqstream_formulaEngineWriteXML(TQFormulaEngine *engine, const char *directory);
TQ_API ViStatus tqstream_formulaEngineReadXML(TQFormulaEngine *engine, const char *directory);
/* Drops the caller's reference. Always 0. */
TQ_API ViStatus tqstream_formulaEngineClose(TQFormulaEngine *engine);

/* ---- Stream message queues ---------------------------------------------------- */

/* Mapped (0xBFFF003C without memory); *queue is set on success only. */
TQ_API ViStatus tqstream_streamMsgCreate(uint32_t capacity, TQStreamMsg **queue);
/* Mapped: 0; 0x3FFC0107 the message was longer than the buffer (the rest
 * stays first); 0x3FFF0004 the queue is empty. */
TQ_API ViStatus tqstream_streamMsgRead(TQStreamMsg *queue, char *buffer, uint32_t size, uint32_t *length);
TQ_API ViStatus tqstream_streamMsgAvail(TQStreamMsg *queue, uint32_t *used);
TQ_API ViStatus tqstream_streamMsgSize(TQStreamMsg *queue, uint32_t *capacity);
TQ_API ViStatus tqstream_streamMsgEmpty(TQStreamMsg *queue, uint32_t *available);
TQ_API ViStatus tqstream_streamMsgFlush(TQStreamMsg *queue);
TQ_API ViStatus tqstream_streamMsgLock(TQStreamMsg *queue, uint32_t timeoutMs);
/* 0 when released, 0xBFFF0000 when the caller did not hold the lock. */
TQ_API ViStatus tqstream_streamMsgUnlock(TQStreamMsg *queue);
/* Mapped: drops the caller's reference. */
TQ_API ViStatus tqstream_streamMsgClose(TQStreamMsg *queue);

/* ---- Display windows (mapped unless stated) ---------------------------------- */

TQ_API ViStatus tqstream_setDisplayWindowTitle(TQDisplayWindow *window, const char *title);
TQ_API ViStatus tqstream_getDisplayWindowTitle(TQDisplayWindow *window, char *buffer, int32_t size);
TQ_API ViStatus tqstream_setDisplayWindowXPos(TQDisplayWindow *window, int32_t x);
TQ_API ViStatus tqstream_getDisplayWindowXPos(TQDisplayWindow *window, int32_t *x);
TQ_API ViStatus tqstream_setDisplayWindowYPos(TQDisplayWindow *window, int32_t y);
TQ_API ViStatus tqstream_getDisplayWindowYPos(TQDisplayWindow *window, int32_t *y);
TQ_API ViStatus tqstream_setDisplayWindowWidth(TQDisplayWindow *window, int32_t width);
TQ_API ViStatus tqstream_getDisplayWindowWidth(TQDisplayWindow *window, int32_t *width);
TQ_API ViStatus tqstream_setDisplayWindowHeight(TQDisplayWindow *window, int32_t height);
TQ_API ViStatus tqstream_getDisplayWindowHeight(TQDisplayWindow *window, int32_t *height);
/* Found, else 0xBFFF003C. New and by-title graph objects come with a
 * reference for the caller; by-index ones do not. */
TQ_API ViStatus tqstream_newGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y, int32_t width,
                                        int32_t height, TQGraphObject **graphObject);
TQ_API ViStatus tqstream_getGraphObjectByTitle(TQDisplayWindow *window, const char *title, TQGraphObject **graphObject);
/* Always 0. */
TQ_API ViStatus tqstream_getNumberGraphObjects(TQDisplayWindow *window, int32_t *count);
/* Found, else 0xBFFF003C. */
TQ_API ViStatus tqstream_getGraphObjectByIndex(TQDisplayWindow *window, int32_t index, TQGraphObject **graphObject);
/* Always 0. */
TQ_API ViStatus tqstream_addGraphObject(TQDisplayWindow *window, TQGraphObject *graphObject);
TQ_API ViStatus tqstream_removeGraphObject(TQDisplayWindow *window, TQGraphObject *graphObject);
/* Found, else 0xBFFF003C. */
TQ_API ViStatus tqstream_newWidget(TQDisplayWindow *window, int32_t type, const char *title, int32_t x, int32_t y,
                                   int32_t width, int32_t height, TQWidget **widget);
TQ_API ViStatus tqstream_getWidgetByTitle(TQDisplayWindow *window, const char *title, TQWidget **widget);
/* Always 0. */
TQ_API ViStatus tqstream_getNumberWidgets(TQDisplayWindow *window, int32_t *count);
/* Found, else 0xBFFF003C. */
TQ_API ViStatus tqstream_getWidgetByIndex(TQDisplayWindow *window, int32_t index, TQWidget **widget);
TQ_API ViStatus tqstream_closeDisplayWindow(TQDisplayWindow *window);

/* ---- Graph objects (mapped unless stated) ------------------------------------- */

TQ_API ViStatus tqstream_setGraphObjectTitle(TQGraphObject *graphObject, const char *title);
TQ_API ViStatus tqstream_getGraphObjectTitle(TQGraphObject *graphObject, char *buffer, int32_t size);
TQ_API ViStatus tqstream_setGraphObjectXPos(TQGraphObject *graphObject, int32_t x);
TQ_API ViStatus tqstream_getGraphObjectXPos(TQGraphObject *graphObject, int32_t *x);
TQ_API ViStatus tqstream_setGraphObjectYPos(TQGraphObject *graphObject, int32_t y);
TQ_API ViStatus tqstream_getGraphObjectYPos(TQGraphObject *graphObject, int32_t *y);
TQ_API ViStatus tqstream_setGraphObjectWidth(TQGraphObject *graphObject, int32_t width);
TQ_API ViStatus tqstream_getGraphObjectWidth(TQGraphObject *graphObject, int32_t *width);
TQ_API ViStatus tqstream_setGraphObjectHeight(TQGraphObject *graphObject, int32_t height);
TQ_API ViStatus tqstream_getGraphObjectHeight(TQGraphObject *graphObject, int32_t *height);
TQ_API ViStatus tqstream_setGraphObjectDuration(TQGraphObject *graphObject, double seconds);
TQ_API ViStatus tqstream_getGraphObjectDuration(TQGraphObject *graphObject, double *seconds);
TQ_API ViStatus tqstream_setGraphObjectStartTime(TQGraphObject *graphObject, double seconds);
TQ_API ViStatus tqstream_getGraphObjectStartTime(TQGraphObject *graphObject, double *seconds);
TQ_API ViStatus tqstream_rescaleGraphObjectAxis(TQGraphObject *graphObject, const char *unit, double zoom,
                                                double shift);
TQ_API ViStatus tqstream_resetGraphObjectAxis(TQGraphObject *graphObject, const char *unit, int32_t resetSpan,
                                              int32_t resetCenter, int32_t resetColor);
TQ_API ViStatus tqstream_rescaleGraphObjectDomain(TQGraphObject *graphObject, double zoom, double shift);
TQ_API ViStatus tqstream_resetGraphObjectDomain(TQGraphObject *graphObject, int32_t resetStart, int32_t resetDuration);
TQ_API ViStatus tqstream_setGraphObjectGraphInfo(TQGraphObject *graphObject, const char *unit, double center,
                                                 double span, uint32_t colour);
TQ_API ViStatus tqstream_getGraphObjectGraphInfo(TQGraphObject *graphObject, const char *unit, double *center,
                                                 double *span, uint32_t *colour);
TQ_API ViStatus tqstream_setGraphObjectAxisCenter(TQGraphObject *graphObject, const char *unit, double center);
TQ_API ViStatus tqstream_getGraphObjectAxisCenter(TQGraphObject *graphObject, const char *unit, double *center);
TQ_API ViStatus tqstream_setGraphObjectAxisSpan(TQGraphObject *graphObject, const char *unit, double span);
TQ_API ViStatus tqstream_getGraphObjectAxisSpan(TQGraphObject *graphObject, const char *unit, double *span);
TQ_API ViStatus tqstream_setGraphObjectAxisColor(TQGraphObject *graphObject, const char *unit, uint32_t colour);
TQ_API ViStatus tqstream_setGraphObjectAxisEnable(TQGraphObject *graphObject, const char *unit, int32_t flag);
TQ_API ViStatus tqstream_setGraphObjectAxisSelected(TQGraphObject *graphObject, const char *unit);
TQ_API ViStatus tqstream_getGraphObjectAxisVisible(TQGraphObject *graphObject, const char *unit, int32_t *visible);
TQ_API ViStatus tqstream_setGraphObjectChannelEnable(TQGraphObject *graphObject, const char *name, int32_t flag);
TQ_API ViStatus tqstream_setGraphObjectChannelColor(TQGraphObject *graphObject, const char *name, uint32_t colour);
TQ_API ViStatus tqstream_resetGraphObjectChannel(TQGraphObject *graphObject, const char *name);
/* A PNG image freed with tqstream_freeGraphObjectGraph. */
TQ_API ViStatus tqstream_getGraphObjectGraph(TQGraphObject *graphObject, int32_t width, int32_t height, int32_t mode,
                                             void **image, uint32_t *size);
/* Always 0. */
TQ_API ViStatus tqstream_freeGraphObjectGraph(TQGraphObject *graphObject, void *image);
TQ_API ViStatus tqstream_getGraphObjectGraphEu(TQGraphObject *graphObject, int32_t x, int32_t y, int32_t width,
                                               int32_t height, double *time, double *value);
TQ_API ViStatus tqstream_getGraphObjectGraphNav(TQGraphObject *graphObject, int32_t width, int32_t height,
                                                uint16_t *plotLeft, uint16_t *plotRight, uint16_t *plotBottom,
                                                uint16_t *plotTop);
TQ_API ViStatus tqstream_setGraphObjectBgColor(TQGraphObject *graphObject, uint32_t colour);
TQ_API ViStatus tqstream_setGraphObjectGridEnable(TQGraphObject *graphObject, int32_t flag);
TQ_API ViStatus tqstream_lockGraphObject(TQGraphObject *graphObject, uint32_t timeoutMs);
TQ_API ViStatus tqstream_unlockGraphObject(TQGraphObject *graphObject);
TQ_API ViStatus tqstream_convertGraphObjectToAscii(TQGraphObject *graphObject, const char *path);
TQ_API ViStatus tqstream_resetGraphObject(TQGraphObject *graphObject);
/* Found, else 0xBFFF0011; the stream comes with a reference added for the
   caller, who releases it. */
TQ_API ViStatus tqstream_getStreamFromGraphObject(TQGraphObject *graphObject, TQStream **stream);
TQ_API ViStatus tqstream_listGraphObjectAxes(TQGraphObject *graphObject, char *buffer, uint32_t size, uint32_t *count);
TQ_API ViStatus tqstream_closeGraphObject(TQGraphObject *graphObject);

/* ---- Widgets (mapped unless stated) ------------------------------------------- */

TQ_API ViStatus tqstream_setWidgetTitle(TQWidget *widget, const char *title);
TQ_API ViStatus tqstream_getWidgetTitle(TQWidget *widget, char *buffer, int32_t size);
TQ_API ViStatus tqstream_setWidgetXPos(TQWidget *widget, int32_t x);
TQ_API ViStatus tqstream_getWidgetXPos(TQWidget *widget, int32_t *x);
TQ_API ViStatus tqstream_setWidgetYPos(TQWidget *widget, int32_t y);
TQ_API ViStatus tqstream_getWidgetYPos(TQWidget *widget, int32_t *y);
TQ_API ViStatus tqstream_setWidgetWidth(TQWidget *widget, int32_t width);
TQ_API ViStatus tqstream_getWidgetWidth(TQWidget *widget, int32_t *width);
TQ_API ViStatus tqstream_setWidgetHeight(TQWidget *widget, int32_t height);
TQ_API ViStatus tqstream_getWidgetHeight(TQWidget *widget, int32_t *height);
TQ_API ViStatus tqstream_setWidgetMin(TQWidget *widget, int32_t value);
TQ_API ViStatus tqstream_getWidgetMin(TQWidget *widget, int32_t *value);
TQ_API ViStatus tqstream_setWidgetMax(TQWidget *widget, int32_t value);
TQ_API ViStatus tqstream_getWidgetMax(TQWidget *widget, int32_t *value);
TQ_API ViStatus tqstream_setWidgetColor(TQWidget *widget, int32_t index, uint32_t colour);
TQ_API ViStatus tqstream_getWidgetColor(TQWidget *widget, int32_t index, uint32_t *colour);
TQ_API ViStatus tqstream_setWidgetChannel(TQWidget *widget, const char *name);
TQ_API ViStatus tqstream_getWidgetChannel(TQWidget *widget, char *buffer, int32_t size);
TQ_API ViStatus tqstream_getWidgetImage(TQWidget *widget, void **image, uint32_t *size);
/* Always 0. */
TQ_API ViStatus tqstream_freeWidgetImage(TQWidget *widget, void *image);
TQ_API ViStatus tqstream_resetWidget(TQWidget *widget);
/* Closes the widget and drops the caller's reference: widgetClose's result,
 * mapped. */
TQ_API ViStatus tqstream_closeWidget(TQWidget *widget);

#ifdef __cplusplus
}
#endif

#endif
