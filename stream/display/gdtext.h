// Text on GD images in the graph font, shared by graphs and dials.
#pragma once

#include <gd.h>
#include <gdfonts.h>

#include <cstring>

#include "displayimpl.h"

namespace tq::stream
{

// Text through FreeType with the graph font; when the font cannot be loaded,
// GD's built-in small font, so that labels and the layout stay usable.
struct GraphText {
    char font[4096];
    double size = 0;
    bool freetype = false;

    void init(double pointSize)
    {
        graphFontPath(font, sizeof font);
        size = pointSize;
        int brect[8];
        freetype = gdImageStringFT(nullptr, brect, 0, font, size, 0.0, 0, 0, const_cast<char *>("0")) == nullptr;
    }
    // Width and height of the text's bounding box.
    void measure(const char *text, int *width, int *height)
    {
        if (freetype) {
            int brect[8];
            if (gdImageStringFT(nullptr, brect, 0, font, size, 0.0, 0, 0, const_cast<char *>(text)) == nullptr) {
                *width = brect[2] - brect[0];
                *height = brect[1] - brect[7];
                return;
            }
        }
        gdFontPtr f = gdFontGetSmall();
        *width = f->w * static_cast<int>(strlen(text));
        *height = f->h;
    }
    void draw(gdImagePtr im, int x, int baseline, const char *text, int colour)
    {
        if (freetype) {
            int brect[8];
            if (gdImageStringFT(im, brect, colour, font, size, 0.0, x, baseline, const_cast<char *>(text)) == nullptr)
                return;
        }
        gdFontPtr f = gdFontGetSmall();
        gdImageString(im, f, x, baseline - f->h, reinterpret_cast<unsigned char *>(const_cast<char *>(text)), colour);
    }
};

} // namespace tq::stream
