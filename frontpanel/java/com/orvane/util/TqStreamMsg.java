package com.orvane.util;

/** A message sink of the stream engine. Its natives live in libpanelmatejni. */
public class TqStreamMsg {
    /** The message sink; 0 when none. */
    public int streamMsgHandle;

    public native void create(long l0);
    public native void close();
    public native String read();
    public native void write(String s0) throws java.io.IOException;
    public native long avail();
}
