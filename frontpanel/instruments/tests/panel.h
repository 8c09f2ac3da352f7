// What the basic instrument's tests share: a handler that records the
// instrument's events.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tqpnp.h"

namespace paneltest
{

using Lines = std::vector<std::string>;

struct Events {
    Lines texts; // "<instrument name>/<event bits>/<text>"
    ViStatus answer = VI_SUCCESS;
    bool scribble = false; // writes into the message it is given
};

inline ViStatus recordEvent(ViConstString name, ViUInt32 bits, void *user, ViUInt32 *, ViChar *message)
{
    auto *e = static_cast<Events *>(user);
    e->texts.push_back(std::string(name ? name : "?") + "/" + std::to_string(bits) + "/" + (message ? message : ""));
    if (e->scribble && message)
        strcpy(message, "scribbled");
    return e->answer;
}

// A listener that answers one event text by calling back into the system,
// as a Java listener may: act runs each time the text is heard.
struct Reaction {
    std::string on;
    std::function<void()> act;
    int heard = 0;
};

inline ViStatus react(ViConstString, ViUInt32, void *user, ViUInt32 *, ViChar *message)
{
    auto *r = static_cast<Reaction *>(user);
    if (message && r->on == message) {
        ++r->heard;
        r->act();
    }
    return VI_SUCCESS;
}

inline Lines take(Lines &v)
{
    Lines out;
    out.swap(v);
    return out;
}

} // namespace paneltest
