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
public final class NativesCheck {
    interface Call {
        Object run() throws Exception;
    }

    private static int failures = 0;

    private static void expect(String what, Call call, Object result) {
        try {
            Object got = call.run();
            if (result == null ? got != null : !result.equals(got)) {
                fail(what, "gave " + got + ", expected " + result);
            }
        } catch (Exception e) {
            fail(what, "threw " + e);
        }
    }

    private static void expectThrow(String what, Call call, Class<?> type, String message) {
        try {
            Object got = call.run();
            fail(what, "gave " + got + ", expected " + type.getName());
        } catch (Exception e) {
            if (e.getClass() != type || (message == null ? e.getMessage() != null : !message.equals(e.getMessage()))) {
                fail(what, "threw " + e + ", expected " + type.getName() + ": " + message);
            }
        }
    }

    private static void fail(String what, String how) {
        failures++;
        System.out.println("FAILED " + what + ": " + how);
    }

    /** A listener that keeps the texts it hears and clears bit 4. */
    public static final class Recorder {
        final List<String> texts = new ArrayList<>();

        public synchronized void actionPerformed(InstrumentEvent event) {
            texts.add(event.getMessage());
            event.clearMask = 4;
        }
    }

    /** A listener that throws: the bridge describes it and goes on. */
    public static final class Thrower {
        public void actionPerformed(InstrumentEvent event) {
            throw new IllegalStateException("listener fails on purpose");
        }
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
        daq.closeHandle();
        if (failures > 0) {
            System.out.println(failures + " cases failed");
            System.exit(1);
        }
        System.out.println("all cases passed");
    }
}
