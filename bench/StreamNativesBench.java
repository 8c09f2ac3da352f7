import com.orvane.util.TqStream;

/**
 * TqStream.getRate through JNI against a bare native that returns a
 * constant, in the same VM: median of several repetitions of each.
 * Arguments: the natives library, the bench natives library.
 */
public final class StreamNativesBench {
    private static final int CALLS = 2_000_000;
    private static final int REPETITIONS = 9;
    static volatile double sink;

    /** A driver-like stream (bench natives); its value. */
    static native int makeStream();

    /** The round trip alone: a native that only returns a constant. */
    native double bare();

    private static long timeRate(TqStream s) {
        double sum = 0;
        long start = System.nanoTime();
        for (int i = 0; i < CALLS; i++) {
            sum += s.getRate();
        }
        long ns = System.nanoTime() - start;
        sink = sum;
        return ns;
    }

    private static long timeBare(StreamNativesBench b) {
        double sum = 0;
        long start = System.nanoTime();
        for (int i = 0; i < CALLS; i++) {
            sum += b.bare();
        }
        long ns = System.nanoTime() - start;
        sink = sum;
        return ns;
    }

    private static double median(long[] v) {
        java.util.Arrays.sort(v);
        return v[v.length / 2];
    }

    public static void main(String[] args) {
        System.load(args[0]);
        System.load(args[1]);
        TqStream s = new TqStream();
        s.streamHandle = makeStream();
        StreamNativesBench b = new StreamNativesBench();
        timeRate(s); // warm-up: both loops compiled before they are measured
        timeBare(b);
        long[] rate = new long[REPETITIONS];
        long[] bare = new long[REPETITIONS];
        for (int r = 0; r < REPETITIONS; r++) {
            rate[r] = timeRate(s);
            bare[r] = timeBare(b);
        }
        double perRate = median(rate) / CALLS;
        double perBare = median(bare) / CALLS;
        System.out.printf("TqStream.getRate %.1f ns, bare native %.1f ns, ratio %.2f (goal <= 1.5)%n", perRate,
                perBare, perRate / perBare);
    }
}
