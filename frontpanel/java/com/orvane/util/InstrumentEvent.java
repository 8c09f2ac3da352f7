package com.orvane.util;

/**
 * An instrument or stream event handed to a listener's actionPerformed. A
 * listener sets clearMask to the event bits it wants cleared; the native
 * bridge hands that value back to the instrument.
 */
public class InstrumentEvent {
    private final Object source;
    private final int bits;
    private final String message;

    /** The event bits to clear, written by the listener. */
    public int clearMask;

    public InstrumentEvent(Object source, int bits, String message) {
        this.source = source;
        this.bits = bits;
        this.message = message;
    }

    public Object getSource() {
        return source;
    }

    public int getBits() {
        return bits;
    }

    public String getMessage() {
        return message;
    }
}
