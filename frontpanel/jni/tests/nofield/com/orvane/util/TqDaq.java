package com.orvane.util;

/** TqDaq as an older class might declare it: without its daqHandle field. */
public class TqDaq {

    public native void getHandle(String s0, String s1, int i2, int i3);
    public native void closeHandle();
    public native void createDB(String s0);
    public native String getDB();
    public native void setDB(String s0);
    public native void newDB(String s0);
    public native void renameDB(String s0);
    public native void deleteDB(String s0);
    public native String getDataPath();
    public native void autoPopulateDB(String s0);
    public native String listModels(int i0, int i1, String s2);
    public native String listDBs(String s0);
    public native String listConfigs(String s0, int i1, String s2, String s3, String s4);
    public native void setConfigs(String s0, int i1, String s2, String s3, String s4, String s5);
    public native void setSimulationMode(String s0, boolean b1);
    public native void clearConfigs(String s0, String s1);
    public native void crossCheck(String s0, int i1);
    public native void configureHW(int i0, int i1);
    public native void createStreams(String s0, boolean b1, boolean b2);
    public native void closeStreams();
    public native String listStreams();
    public native int doOperation(String s0, String s1, String s2);
    public native String listPresources(String s0);
    public native String listVresources(String s0);
    public native String listUsers(String s0);
    public native void linkFormula(String s0, String s1, String s2);
    public native void unlinkFormula(String s0, String s1);
    public native String listFormulas(String s0);
    public native String getAttribute(String s0, String s1, String s2);
    public native void registerStreamMsg(TqStreamMsg tqStreamMsg0);
    public native int openDataFiles(String s0, int i1) throws java.io.IOException;
    public native void saveStream(TqStream tqStream0);
    public native void loadStream(TqStream tqStream0);
    public native void deleteStream(String s0);
    public native void assignResource(String s0, String s1);
    public native void createVresource(String s0, int i1, int i2, String s3);
    public native void updateVresourceOption(String s0, String s1, String s2);
}
