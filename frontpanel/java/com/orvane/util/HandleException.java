package com.orvane.util;

/** A manager session or a message sink could not be opened. */
public class HandleException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    public HandleException(String message) {
        super(message);
    }
}
