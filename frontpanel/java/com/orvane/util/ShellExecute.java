package com.orvane.util;

/** Opens a file or an address with the desktop's handler. Its natives live in libpanelmatejni. */
public class ShellExecute {
    public native void shellExecute(String s0, String s1, String s2, String s3, int i4);
}
