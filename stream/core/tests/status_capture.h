// Collects what the code under test writes to the debug output.
#pragma once

#include <string>

#include "tq/platform/debug.h"

namespace streamtest {

class DebugCapture {
public:
    DebugCapture() { tq::platform::setDebugCaptureHook(&DebugCapture::hook, this); }
    ~DebugCapture() { tq::platform::setDebugCaptureHook(nullptr, nullptr); }
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    const std::string &text() const { return text_; }
    void clear() { text_.clear(); }

private:
    static void hook(const char *text, void *context) { static_cast<DebugCapture *>(context)->text_ += text; }
    std::string text_;
};

} // namespace streamtest
