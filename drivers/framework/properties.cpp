// Reading property value texts. Text fields are bounded to the 255
// characters the setters take, and a format whose fields are not all found
// is refused as a whole: a setter never sees a value the text did not give.
#include "tq/driver/properties.h"

#include "tq/platform/numfmt.h"

namespace tq::driver
{

static_assert(kNameLength == 256, "the text widths below are kNameLength - 1");

const char *scanFormatText(ValueFormat format)
{
    switch (format) {
    case ValueFormat::Text:
        return "%[^,]";
    case ValueFormat::Int16:
        return "%hd";
    case ValueFormat::Int32:
        return "%d";
    case ValueFormat::Real:
        return "%lf";
    case ValueFormat::IndexInt16:
        return "%hd,%hd";
    case ValueFormat::IndexReal:
        return "%hd,%lf";
    case ValueFormat::IndexText:
        return "%hd,%[^,]";
    }
    return "";
}

bool scanValue(ValueFormat format, const char *text, ScannedValue &v)
{
    if (!text)
        return false;
    v.text[0] = '\0';
    switch (format) {
    case ValueFormat::Text:
        return platform::cscan(text, "%255[^,]", v.text) == 1;
    case ValueFormat::Int16:
        return platform::cscan(text, "%hd", &v.int16) == 1;
    case ValueFormat::Int32:
        return platform::cscan(text, "%d", &v.int32) == 1;
    case ValueFormat::Real:
        return platform::cscan(text, "%lf", &v.real) == 1;
    case ValueFormat::IndexInt16:
        return platform::cscan(text, "%hd,%hd", &v.index, &v.int16) == 2;
    case ValueFormat::IndexReal:
        return platform::cscan(text, "%hd,%lf", &v.index, &v.real) == 2;
    case ValueFormat::IndexText:
        return platform::cscan(text, "%hd,%255[^,]", &v.index, v.text) == 2;
    }
    return false;
}

} // namespace tq::driver
