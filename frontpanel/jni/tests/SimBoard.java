/** The simulated board behind the drivers of the test VM (test natives). */
final class SimBoard {
    private SimBoard() {}

    /** Pulses a trigger line of the board; the simulated library's status. */
    static native int pulseLine(String library, String resource, int line, int count);

    /** The values written to one register of the board since the last call. */
    static native int[] takeWrites(String library, String resource, long offset);
}
