/** Test-only natives (stream_fixture.cpp): driver-like streams and events from native threads. */
public final class StreamFixture {
    private StreamFixture() {
    }

    /** A stream as a driver makes it: nobody but its owner destroys it. */
    static native int driverStream(String name, boolean cannotClone);

    static native void setScansWritten(int value, long count);

    static native void destroy(int value);

    /** Readers of the streams that cannot clone that are still alive. */
    static native int readersAlive();

    static native void post(int value, int event, String message, int count);

    static native int lastClearMask();

    static native void startFlood(int value);

    static native void stopFlood();
}
