package com.orvane.util;

/** A display window of a stream. Its natives live in libpanelmatejni. */
public class DisplayWindow {
    /** The display window; 0 when none. */
    public int windowHandle;

    public native void setTitlen(String s0);
    public native String getTitlen();
    public native void setXn(int i0);
    public native int getXn();
    public native void setYn(int i0);
    public native int getYn();
    public native void setWidthn(int i0);
    public native int getWidthn();
    public native void setHeightn(int i0);
    public native int getHeightn();
    public native int newGraphObjectn(String s0, int i1, int i2, int i3, int i4);
    public native int getGraphObjectn(String s0);
    public native void removeGraphObject(GraphObject graphObject0);
    public native void linkGraphObject(GraphObject graphObject0);
    public native void closeHandle();
}
