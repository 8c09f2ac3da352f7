// Flat exports over stream files: replay as a stream, and text export.
#include "exportimpl.h"

using namespace tq::stream::exports;

TQ_API ViStatus tqstream_openFileStream(const char *path, TQStream **stream)
{
    if (!stream)
        return kNoResult;
    return OpenFileStream(path, stream) < 0 ? VI_ERROR_FILE_ACCESS : VI_SUCCESS;
}

TQ_API ViStatus tqstream_convertFileStreamAscii(const char *streamFile, const char *textFile)
{
    TQStream *stream = nullptr;
    int32_t code = OpenFileStream(streamFile, &stream);
    if (code >= 0 && stream) {
        // The file stream's capture writes the whole file as text.
        code = stream->streamCaptureOpen(stream, textFile, 1);
        if (code >= 0)
            code = stream->streamCaptureClose(stream);
        stream->streamRelease(&stream);
    }
    return mapped(code);
}
