package com.orvane.util;

/** A call into the system failed. */
public class NativeAPIException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    public NativeAPIException(String message) {
        super(message);
    }
}
