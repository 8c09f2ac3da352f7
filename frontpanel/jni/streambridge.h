// Stream events into Java: the listener records of TqStream.addListener and
// the stream event handler that delivers to them (streamEventBridge).
#pragma once

#include <cstdint>
#include <jni.h>

struct TQStream;

namespace tq::panelmate
{

// Installs streamEventBridge on the stream for the listener; the record's
// handle, or 0 (the listener has no actionPerformed, no memory, or the
// stream's handler table is full: nothing remains then).
jint addStreamListener(JNIEnv *env, jobject tqStream, TQStream *stream, jint mask, jobject listener);

// Uninstalls the record's handler from its stream (when the stream is still
// there) and frees the record once no delivery uses it; 0, stale or foreign
// handles do nothing.
void removeStreamListener(JNIEnv *env, jint record);

} // namespace tq::panelmate
