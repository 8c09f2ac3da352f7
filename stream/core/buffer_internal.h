// Segmented buffer functions that are not function fields of a record.
#pragma once

#include <cstdint>

#include "tqstream.h"

// Sets the sizes of a buffer whose window is empty and allocates its first
// segment: 0, -2 (no first segment could be allocated) or -4 (bad sizes).
int32_t TQAllocBuffer(TQBuffer *buffer, int32_t segmentSize, int32_t bufferSize, int32_t maximumSize);

// Drops one reference of a segment and clears the caller's pointer; always 0.
int32_t TQBufferDataDelRef(TQBufferSegment **segment);

// Segments the buffer let go and keeps for reuse. They count against the
// maximum segment count together with the allocated ones.
int32_t TQBufferKeptSegments(const TQBuffer *buffer);
