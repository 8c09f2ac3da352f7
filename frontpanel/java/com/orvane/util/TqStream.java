package com.orvane.util;

/** A stream of scans. Its natives live in libpanelmatejni. */
public class TqStream {
    /** The stream; 0 when none. */
    public int streamHandle;

    public native double getRate();
    public native String getName();
    public native int getScansWritten();
    public native void setOutputEnable(boolean b0);
    public native void openFileStream(String s0);
    public native void closeHandle();
    public native void captureOpen(String s0, int i1) throws java.io.IOException;
    public native void captureClose();
    public native void lock(int i0) throws java.util.concurrent.TimeoutException;
    public native void unlock();
    public native double[] getAveraged(long l0);
    public native javax.swing.ImageIcon getGraph(int i0, int i1, int i2, double d3, double d4);
    public native java.awt.Rectangle getGraphNav(int i0, int i1);
    public native void setGraphInfo(String s0, double d1, double d2, java.awt.Color color3);
    public native String listAxes();
    public native void writeXML(String s0);
    public native String listn();
    public native int newDisplayWindown(String s0, int i1, int i2, int i3, int i4);
    public native int getNumberDisplayWindowsn();
    public native int getDisplayWindowByIndexn(int i0);
    public native int getDisplayWindown(String s0);
    public native int getGraphObjectn();
    public native int addListener(int i0, Object object1);
    public native void verifyDisplayWindows();
    public native int clonen(int i0, int i1, int i2);
    public native void removeListener(int i0);
}
