package com.orvane.util;

/** A graph object of a display window. Its natives live in libpanelmatejni. */
public class GraphObject {
    /** The graph object; 0 when none. */
    public int graphObjectHandle;

    public native void setTitlen(String s0);
    public native String getTitlen();
    public native void setXn(int i0);
    public native int getXn();
    public native void setYn(int i0);
    public native int getYn();
    public native void setBgColorn(int i0);
    public native void setGridEnable(boolean b0);
    public native void setWidthn(int i0);
    public native int getWidthn();
    public native void setHeightn(int i0);
    public native int getHeightn();
    public native void domainRescale(double d0, double d1);
    public native void domainReset(boolean b0, boolean b1);
    public native void axisRescale(String s0, double d1, double d2);
    public native void axisReset(String s0, boolean b1, boolean b2, boolean b3);
    public native void setAxisColorn(String s0, int i1);
    public native void setChannelEnable(String s0, boolean b1);
    public native void setChannelColorn(String s0, int i1);
    public native double[] getGraphEu(int i0, int i1, int i2, int i3);
    public native void setAxisCenter(String s0, double d1);
    public native void setAxisSpan(String s0, double d1);
    public native void setAxisSelected(String s0);
    public native boolean getAxisVisible(String s0);
    public native void setStartTime(double d0);
    public native void setDuration(double d0);
    public native javax.swing.ImageIcon getGraph(int i0, int i1, int i2);
    public native String listAxes();
    public native void setAxisEnable(String s0, boolean b1);
    public native void reset();
    public native void channelReset(String s0);
    public native void lock(int i0) throws java.util.concurrent.TimeoutException;
    public native void unlock();
    public native int getStreamn();
    public native int getDisplayWindown();
    public native void convertToAscii(String s0);
    public native void closeHandle();
}
