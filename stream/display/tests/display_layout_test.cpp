// The display model through the shared library, as the resource manager
// reaches it: the stream from the handle table, a stored layout rebuilt with
// the exported record constructors (display_layout_c.c), synchronised with the
// stream's channels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tqstream.h"

extern "C" TQGraphObject *rebuildStoredLayout(TQStream *stream);

namespace
{

TQStreamChannel channels[3];

TQStreamChannel *channelByName(TQStream *, const char *name)
{
    for (auto &c : channels)
        if (strcmp(c.name, name) == 0)
            return &c;
    return nullptr;
}

TQStreamChannel *channelByIndex(TQStream *, int32_t index)
{
    return index >= 0 && index < 3 ? &channels[index] : nullptr;
}

std::vector<std::string> names(TQListHead *head, size_t link)
{
    std::vector<std::string> out;
    for (void *e = head->first; e; e = tqListNext(e, link))
        out.emplace_back(static_cast<TQChannelEnable *>(e)->name);
    return out;
}

} // namespace

TEST(DisplayLayout, StoredLayoutBoundToTheStreamsChannels)
{
    TQStreamHandles h;
    ASSERT_EQ(tqstream_getHandles(&h), 0);
    TQStream *s = h.newStream("dev", 100.0, nullptr);
    ASSERT_NE(s, nullptr);
    const char *channelTexts[3][2] = {{"a", "volts"}, {"f", "hz"}, {"b", "volts"}};
    for (int i = 0; i < 3; ++i) {
        memset(&channels[i], 0, sizeof channels[i]);
        strcpy(channels[i].name, channelTexts[i][0]);
        strcpy(channels[i].eu, channelTexts[i][1]);
        channels[i].stream = s;
    }
    s->streamGetChannel = channelByName;
    s->streamGetChannelByIndex = channelByIndex;
    h.setNumberChannels(s, 3);

    TQGraphObject *go = rebuildStoredLayout(s);
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go, s->defaultGraphObject);
    const size_t axisActive = offsetof(TQAxisInfo, activeLink);
    const size_t entryActive = offsetof(TQChannelEnable, activeLink);
    const size_t entryInactive = offsetof(TQChannelEnable, inactiveLink);
    auto *volts = static_cast<TQAxisInfo *>(go->activeAxes.first);
    ASSERT_NE(volts, nullptr);
    auto *hz = static_cast<TQAxisInfo *>(tqListNext(volts, axisActive));
    ASSERT_NE(hz, nullptr);
    EXPECT_STREQ(volts->eu, "volts");
    EXPECT_STREQ(hz->eu, "hz");
    EXPECT_EQ(go->inactiveAxes.first, nullptr);
    // The stored settings stay; the new channel b gets an automatic colour.
    EXPECT_EQ(volts->center, 5.0);
    EXPECT_EQ(names(&volts->activeChannels, entryActive), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(names(&volts->inactiveChannels, entryInactive), std::vector<std::string>{"gone"});
    auto *a = static_cast<TQChannelEnable *>(volts->activeChannels.first);
    auto *b = static_cast<TQChannelEnable *>(volts->activeChannels.last);
    EXPECT_EQ(a->color, 0x123456u);
    EXPECT_EQ(a->channel, &channels[0]);
    EXPECT_EQ(b->color, 0x0000ffu); // first entry that is not fixed
    EXPECT_EQ(b->channel, &channels[2]);
    // The disabled hz axis revived from the inactive list: visible when enabled only.
    EXPECT_EQ(hz->enable, 0);
    EXPECT_EQ(hz->visible, 0);
    EXPECT_EQ(volts->visible, 1);
    EXPECT_EQ(volts->refCount, 1);
    EXPECT_EQ(a->refCount, 1);

    go->graphObjectSlotRelease(&go);
    h.destroyStream(s);
}
