package com.orvane.util;

/** A virtual resource of a manager session. Its natives live in libpanelmatejni. */
public class MateVResource {
    /** The session the resource belongs to. */
    public TqDaq daq;

    /** The virtual resource's name. */
    public String name;

    public MateVResource() {}

    public MateVResource(TqDaq daq, String name) {
        this.daq = daq;
        this.name = name;
    }

    public native int addListener(int i0, Object object1);
    public native void removeListener(int i0);
    public native void setEnable(boolean b0);
    public native boolean getEnable();
    public native void close();
}
