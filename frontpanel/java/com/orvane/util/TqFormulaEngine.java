package com.orvane.util;

/** A formula engine. Its natives live in libpanelmatejni. */
public class TqFormulaEngine {
    /** The formula engine; 0 when none. */
    public int feHandle;

    public native void closeHandle();
    public native int getFEStream(String s0);
    public native void writeXML(String s0);
}
