import com.orvane.util.HandleException;
import com.orvane.util.NativeAPIException;
import com.orvane.util.TqDaq;

/**
 * The natives over a TqDaq without its daqHandle field: each answers as its
 * table says for a missing field, and no NoSuchFieldError is left pending
 * into later calls. Prints "missing field answered" when every case holds.
 */
public final class MissingFieldCheck {
    public static void main(String[] args) {
        System.load(args[0]);
        TqDaq daq = new TqDaq();
        int failures = 0;
        if (!"failure".equals(daq.listDBs("x"))) {
            failures++;
            System.out.println("FAILED listDBs");
        }
        if (daq.getDB() != null || daq.listStreams() == null) {
            failures++;
            System.out.println("FAILED getDB/listStreams");
        }
        try {
            daq.getHandle("operator", null, 1, 2);
            failures++;
        } catch (HandleException e) {
            if (!"System Error".equals(e.getMessage())) {
                failures++;
                System.out.println("FAILED getHandle: " + e.getMessage());
            }
        }
        try {
            daq.doOperation(null, "start", null);
            failures++;
        } catch (NativeAPIException e) {
            if (!"Failure doOperation".equals(e.getMessage())) {
                failures++;
                System.out.println("FAILED doOperation: " + e.getMessage());
            }
        }
        daq.closeHandle();
        if (failures == 0) {
            System.out.println("missing field answered");
        }
        System.exit(failures == 0 ? 0 : 1);
    }
}
