package com.orvane.util;

/** The object a native needs is not open. */
public class StreamClosedException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    public StreamClosedException(String message) {
        super(message);
    }
}
