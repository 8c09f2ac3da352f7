import com.orvane.util.ConfigurationException;
import com.orvane.util.HandleException;
import com.orvane.util.InstrumentEvent;
import com.orvane.util.MateVResource;
import com.orvane.util.NativeAPIException;
import com.orvane.util.TqDaq;
import com.orvane.util.TqStream;
import java.util.ArrayList;
import java.util.List;

/**
 * The resource manager's natives through JNI: one table of cases, each a
 * call and the result or the exception (class and message) it must give.
 * Prints one line per failed case and exits 1 when any failed.
 */
public final class NativesCheck extends Cases {
    /** A listener that keeps the texts it hears and clears bit 4. */
    public static final class Recorder {
        final List<String> texts = new ArrayList<>();

        public synchronized void actionPerformed(InstrumentEvent event) {
            texts.add(event.getMessage());
            event.clearMask = 4;
        }
    }

    /** Counts events from any thread and clears bit 4 of each. */
    public static final class Counter {
        final java.util.concurrent.atomic.AtomicInteger events = new java.util.concurrent.atomic.AtomicInteger();
        final java.util.concurrent.atomic.AtomicInteger bits = new java.util.concurrent.atomic.AtomicInteger();

        public void actionPerformed(InstrumentEvent event) {
            events.incrementAndGet();
            bits.getAndAccumulate(event.getBits(), (a, b) -> a | b);
            event.clearMask = 4;
        }
    }

    /** A listener that throws: the bridge describes it and goes on. */
    public static final class Thrower {
        public void actionPerformed(InstrumentEvent event) {
            throw new IllegalStateException("listener fails on purpose");
        }
    }

    /**
     * A listing whose text is exactly one chunk (8192 bytes) comes as a full
     * chunk with "more" and an empty last chunk: the native keeps all of it
     * once. Two virtual resources whose entries differ only in description
     * length bring the listing to exactly 8192 bytes.
     */
    private static void listingOfExactlyOneChunk(TqDaq daq) {
        final int vendor = 0x3c5a;
        final int model = 2;
        int before = daq.listVresources(null).length();
        daq.createVresource("chunkA", vendor, model, "");
        int one = daq.listVresources(null).length();
        int entry = one - before;
        int description = 8192 - one - entry;
        if (description < 0) {
            fail("8192-byte listing", "the listing is " + one + " bytes already");
            return;
        }
        daq.createVresource("chunkB", vendor, model, "d".repeat(description));
        String listing = daq.listVresources(null);
        expect("a listing of exactly 8192 bytes arrives whole", () -> listing.length(), 8192);
        expect("it is read once", () -> listing.indexOf("chunkB") == listing.lastIndexOf("chunkB")
                && listing.endsWith("</vresources>"), true);
    }

    /** The first element of that name in a listing, or null. */
    private static String firstText(String listing, String element) {
        String open = "<" + element + ">";
        int from = listing.indexOf(open);
        int to = from < 0 ? -1 : listing.indexOf("</" + element + ">", from);
        return to < 0 ? null : listing.substring(from + open.length(), to);
    }

    /**
     * The simulated 718's own events reach Java listeners on its virtual
     * resource, each listener's clearMask reaches the board, and listeners
     * come and go on another thread while events flood.
     */
    private static void boardEvents(TqDaq daq, String db, String simLibrary, String visaLibrary) throws Exception {
        System.load(simLibrary);
        final String rsrc = "PXI1::11::INSTR";
        final long eventStatus = 0xD4; // write ones to clear
        daq.autoPopulateDB(db); // finds the board and makes it a member
        String resources = daq.listVresources(null);
        int at = resources.indexOf("<modelid>" + 0x718 + "</modelid>");
        String board = at < 0 ? null : firstText(resources.substring(at), "name");
        if (board == null) {
            fail("the board's virtual resource", "not in " + resources);
            return;
        }
        MateVResource instrument = new MateVResource(daq, board);
        expect("an unknown operation is a warning, not an exception",
                () -> daq.doOperation(board, "frobnicate", null), 0x3FFC0108);
        daq.setConfigs(board, 1, "Analog Channel", "1", "AnalogChannelEnable", "1");
        Counter counter = new Counter();
        // Mask 0: every event of the board, whether its event channel is on or not.
        int kept = instrument.addListener(0, counter);
        int thrower = instrument.addListener(0, new Thrower());
        // The professional instrument configures its members and starts them.
        expect("the board starts", () -> daq.doOperation(db, "uiEvent", "navigator;operation;start"), 0);
        SimBoard.takeWrites(visaLibrary, rsrc, eventStatus);
        expect("the test reaches the simulated board", () -> SimBoard.pulseLine(visaLibrary, rsrc, 0, 1), 0);
        long giveUp = System.currentTimeMillis() + 30000;
        // The board may raise other events of its own first.
        while ((counter.bits.get() & (1 << 4)) == 0 && System.currentTimeMillis() < giveUp) {
            SimBoard.pulseLine(visaLibrary, rsrc, 0, 1);
            Thread.sleep(20);
        }
        expect("the board's events reach Java", () -> counter.events.get() > 0, true);
        expect("they carry line 0's event bit", () -> (counter.bits.get() & (1 << 4)) != 0, true);
        int[] writes = SimBoard.takeWrites(visaLibrary, rsrc, eventStatus);
        boolean cleared = false;
        for (int w : writes) {
            cleared |= (w & 4) != 0;
        }
        final boolean clearedSeen = cleared;
        expect("the listener's clearMask 4 reaches the board", () -> clearedSeen, true);
        instrument.removeListener(thrower);

        // Listeners added and removed on another thread while events flood.
        final boolean[] churnFailed = {false};
        Thread churn = new Thread(() -> {
            try {
                for (int i = 0; i < 200; i++) {
                    int h = instrument.addListener(0, new Counter());
                    if (h == 0) {
                        churnFailed[0] = true;
                    }
                    instrument.removeListener(h);
                }
            } catch (RuntimeException e) {
                churnFailed[0] = true;
            }
        });
        churn.start();
        while (churn.isAlive()) {
            SimBoard.pulseLine(visaLibrary, rsrc, 0, 1);
            Thread.sleep(1);
        }
        churn.join();
        expect("listeners come and go while events flood", () -> churnFailed[0], false);
        int heard = counter.events.get();
        giveUp = System.currentTimeMillis() + 30000;
        while (counter.events.get() == heard && System.currentTimeMillis() < giveUp) {
            SimBoard.pulseLine(visaLibrary, rsrc, 0, 1);
            Thread.sleep(20);
        }
        expect("the kept listener still hears the board", () -> counter.events.get() > heard, true);
        expect("the board stops", () -> daq.doOperation(db, "uiEvent", "navigator;operation;stop"), 0);
        instrument.removeListener(kept);
    }

    public static void main(String[] args) throws Exception {
        System.load(args[0]);
        TqDaq none = new TqDaq(); // daqHandle 0
        expect("listModels h=0", () -> none.listModels(0, 0, "cat"), "cat");
        expect("listDBs h=0", () -> none.listDBs("p"), "p");
        expect("listConfigs h=0", () -> none.listConfigs("r", 1, "c", null, null), "r");
        expect("listPresources h=0", () -> none.listPresources("x"), "x");
        expect("listVresources h=0", () -> none.listVresources(null), null);
        expect("listUsers h=0", () -> none.listUsers("u"), "u");
        expect("listFormulas h=0", () -> none.listFormulas("f"), "f");
        expect("listStreams h=0", () -> none.listStreams(), null);
        expect("closeHandle h=0", () -> { none.closeHandle(); return none.daqHandle; }, 0);
        expect("setConfigs h=0", () -> { none.setConfigs(null, 1, null, null, null, null); return 0; }, 0);
        expectThrow("doOperation h=0", () -> none.doOperation(null, "start", null), NativeAPIException.class,
                "Failure doOperation");
        expectThrow("openDataFiles h=0", () -> none.openDataFiles("/nowhere", 0), java.io.IOException.class,
                "failure to create FE");
        expectThrow("saveStream h=0", () -> { none.saveStream(new TqStream()); return 0; },
                NativeAPIException.class, "Failure in tqdaq_saveStream");
        expectThrow("loadStream h=0", () -> { none.loadStream(new TqStream()); return 0; },
                NativeAPIException.class, "Failure in tqdaq_saveStream");
        expectThrow("deleteStream h=0", () -> { none.deleteStream("s"); return 0; }, NativeAPIException.class,
                "Failure in tqdaq_saveStream");
        expectThrow("assignResource h=0", () -> { none.assignResource(null, null); return 0; },
                NativeAPIException.class, "Failure in tqdaq_assignResource");
        expectThrow("createVresource h=0", () -> { none.createVresource("v", 1, 2, null); return 0; },
                NativeAPIException.class, "Failure in tqdaq_createVresource");
        expectThrow("updateVresourceOption h=0", () -> { none.updateVresourceOption("v", "p", "x"); return 0; },
                NativeAPIException.class, "Failure in tqdaq_updateVresourceOption");
        expectThrow("setDB null name", () -> { none.setDB(null); return 0; }, NullPointerException.class, null);
        expectThrow("getHandle unknown user", () -> { new TqDaq().getHandle("nobody", null, 0x3c5a, 2); return 0; },
                HandleException.class, "Unknown username");
        MateVResource orphan = new MateVResource();
        expectThrow("MateVResource.close without session", () -> { orphan.close(); return 0; },
                NativeAPIException.class, "failure to create FE");
        expect("MateVResource.addListener without session", () -> orphan.addListener(1, new Recorder()), 0);
        expect("MateVResource.getEnable without session", () -> orphan.getEnable(), false);
        expectThrow("removeListener 0", () -> { orphan.removeListener(0); return 0; }, NativeAPIException.class,
                "Failure in tqdaq_uninstallEventHandler");
        expectThrow("removeListener made up", () -> { orphan.removeListener(0x40000123); return 0; },
                NativeAPIException.class, "Failure in tqdaq_uninstallEventHandler");

        TqDaq daq = new TqDaq();
        daq.getHandle("operator", "", 0x3c5a, 2);
        String db = daq.getDB();
        expect("a database is selected", () -> db.isEmpty(), false);
        expectThrow("deleteDB of the selected database", () -> { daq.deleteDB(db); return 0; },
                NativeAPIException.class, "Cannot delete current database");
        expectThrow("getAttribute unknown", () -> daq.getAttribute(db, "no such category", "x"),
                ConfigurationException.class, "no such attribute");
        expect("listUsers names the operator", () -> daq.listUsers(null).contains("operator"), true);
        expect("a stored Latin-1 name reads as its characters", () -> daq.listUsers(null).contains("caf\u00e9"),
                true);
        expect("a stored UTF-8 name reads as its characters", () -> daq.listUsers(null).contains("na\u00efve"),
                true);
        daq.linkFormula("f1", "=", "1");
        expect("linkFormula stores f1", () -> daq.listFormulas(db).contains("f1"), true);
        daq.unlinkFormula("x", "f1");
        expect("unlinkFormula(\"x\", \"f1\") removes f1", () -> daq.listFormulas(db).contains("f1"), false);

        MateVResource own = new MateVResource(daq, db);
        Recorder recorder = new Recorder();
        int thrower = own.addListener(-1, new Thrower());
        int listener = own.addListener(-1, recorder);
        expect("listener handles are handles", () -> listener != 0 && thrower != 0 && listener != thrower, true);
        daq.doOperation(db, "uiEvent", "navigator;operation;probe");
        expect("events reach Java", () -> recorder.texts.contains("navigator;operation;probe"), true);
        own.removeListener(thrower);
        own.removeListener(listener);
        expectThrow("removeListener twice", () -> { own.removeListener(listener); return 0; },
                NativeAPIException.class, "Failure in tqdaq_uninstallEventHandler");
        int heard = recorder.texts.size();
        daq.doOperation(db, "uiEvent", "navigator;operation;probe");
        expect("a removed listener hears nothing", () -> recorder.texts.size(), heard);
        // Add and remove while events come, many times.
        for (int i = 0; i < 20; i++) {
            int h = own.addListener(-1, recorder);
            daq.doOperation(db, "uiEvent", "navigator;operation;probe");
            own.removeListener(h);
        }
        listingOfExactlyOneChunk(daq);
        if (args.length >= 3) {
            boardEvents(daq, db, args[1], args[2]);
        }
        daq.closeHandle();
        finish();
    }
}
