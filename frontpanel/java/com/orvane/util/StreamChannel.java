package com.orvane.util;

/** A channel of a stream, by name. Its natives live in libpanelmatejni. */
public class StreamChannel {
    /** The channel's name. */
    public String name;

    /** The stream channel; 0 when none. */
    public int pStreamChannel;

    public native void initStreamChannel(TqStream tqStream0);
    public native void setGraphChannelEnable(boolean b0);
}
