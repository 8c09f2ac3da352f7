package com.orvane.util;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.List;

/**
 * The front panel's entry point, without a window: its command line names a
 * step to run. The host program hands it "PanelMate" as the first argument;
 * a plain java start does not, so that word is skipped when present.
 *
 * Steps:
 *   version  the Java VM's version and the arguments received
 *   natives  checks that every native method of the classes is registered
 *   throw    ends with an exception (what a failing front panel does)
 *   tour     a manager session on the device database: its resources, the
 *            professional instrument probed, started and stopped through
 *            uiEvent texts, and the events that reached Java
 *
 * Under a plain java the natives come from the library named by the system
 * property panelmate.jni, loaded before the step runs.
 */
public final class Mate {
    /** The classes with native methods, in the host's registration order. */
    static final List<Class<?>> NATIVE_CLASSES = List.of(TqDaq.class, TqStream.class, TqStreamMsg.class,
            MateVResource.class, ShellExecute.class, StreamChannel.class, TqFormulaEngine.class,
            DisplayWindow.class, GraphObject.class);

    private Mate() {}

    public static void main(String[] args) throws Exception {
        String library = System.getProperty("panelmate.jni");
        if (library != null) {
            System.load(library);
        }
        int first = args.length > 0 && args[0].equals("PanelMate") ? 1 : 0;
        String step = args.length > first ? args[first] : "";
        switch (step) {
            case "version":
                version(args);
                break;
            case "natives":
                natives();
                break;
            case "tour":
                tour();
                break;
            case "throw":
                throw new IllegalStateException("Mate was asked to fail");
            default:
                throw new IllegalArgumentException("unknown step '" + step + "'; steps: version, natives, tour, throw");
        }
    }

    private static void version(String[] args) {
        System.out.println("Java " + System.getProperty("java.version") + " ("
                + System.getProperty("java.vm.name") + " " + System.getProperty("java.vm.version") + ", "
                + System.getProperty("java.vendor") + ")");
        System.out.println("arguments: " + args.length);
        for (int i = 0; i < args.length; i++) {
            System.out.println("  " + i + ": [" + args[i] + "]");
        }
    }

    /**
     * Calls every native method with zero and null arguments on a fresh
     * object: an unregistered native throws UnsatisfiedLinkError, a
     * registered one either runs (the null and zero cases every native
     * handles) or throws something else. A native that is not built yet must
     * name itself in its UnsupportedOperationException.
     */
    private static void natives() throws ReflectiveOperationException {
        int registered = 0;
        int unbuilt = 0;
        for (Class<?> type : NATIVE_CLASSES) {
            Object target = type.getConstructor().newInstance();
            Method[] methods = type.getDeclaredMethods();
            Arrays.sort(methods, (a, b) -> a.getName().compareTo(b.getName()));
            for (Method m : methods) {
                if (!Modifier.isNative(m.getModifiers())) {
                    continue;
                }
                String name = type.getSimpleName() + "." + m.getName();
                try {
                    m.invoke(target, defaults(m.getParameterTypes()));
                } catch (InvocationTargetException e) {
                    Throwable cause = e.getCause();
                    if (cause instanceof UnsatisfiedLinkError) {
                        throw new IllegalStateException("native " + name + " is not registered", cause);
                    }
                    if (cause instanceof UnsupportedOperationException) {
                        if (cause.getMessage() == null || !cause.getMessage().contains(name)) {
                            throw new IllegalStateException("native " + name + " does not name itself: "
                                    + cause.getMessage(), cause);
                        }
                        unbuilt++;
                    }
                }
                registered++;
            }
        }
        System.out.println("natives registered: " + registered + " (not built yet: " + unbuilt + ")");
    }

    /** The maker's vendor number and the professional instrument's model. */
    private static final int VENDOR = 0x3c5a;
    private static final int PRO_MODEL = 2;

    /** Keeps the texts of the events it is given, in order. */
    public static final class Heard {
        private final List<String> texts = new java.util.ArrayList<>();

        public synchronized void actionPerformed(InstrumentEvent event) {
            texts.add(event.getMessage());
        }

        public synchronized List<String> texts() {
            return new java.util.ArrayList<>(texts);
        }
    }

    private static void tour() throws InterruptedException {
        TqDaq daq = new TqDaq();
        daq.getHandle("operator", "", VENDOR, PRO_MODEL);
        String db = daq.getDB();
        System.out.println("manager session open; configuration database '" + db + "'");
        String resources = daq.listVresources(null);
        System.out.println("virtual resources: " + resources);
        System.out.println("physical resources: " + daq.listPresources(null));
        String board = firstText(resources, "name");
        MateVResource own = new MateVResource(daq, db);
        Heard told = new Heard();
        int ownListener = own.addListener(-1, told);
        MateVResource instrument = board == null ? null : new MateVResource(daq, board);
        Heard raised = new Heard();
        int boardListener = instrument == null ? 0 : instrument.addListener(0, raised);
        System.out.println("listening to '" + db + "'" + (board == null ? "" : " and to '" + board + "'"));
        try {
            uiEvent(daq, db, "navigator;operation;probe");
            if (board != null) {
                // The probe made the board a member of a new database with
                // every channel off; the run needs one channel on.
                daq.setConfigs(board, 1, "Analog Channel", "1", "AnalogChannelEnable", "1");
                System.out.println("channel 1 of '" + board + "' enabled");
            }
            uiEvent(daq, db, "navigator;operation;start");
            Thread.sleep(500);
            uiEvent(daq, db, "navigator;operation;stop");
            System.out.println("virtual resources after the probe: " + daq.listVresources(null));
        } finally {
            if (instrument != null) {
                instrument.removeListener(boardListener);
            }
            own.removeListener(ownListener);
        }
        System.out.println("what the instrument told Java:");
        for (String text : told.texts()) {
            System.out.println("  " + text);
        }
        if (board != null) {
            System.out.println("events '" + board + "' raised: " + raised.texts().size());
        }
        daq.closeHandle();
        System.out.println("manager session closed");
    }

    private static void uiEvent(TqDaq daq, String db, String step) {
        try {
            int status = daq.doOperation(db, "uiEvent", step);
            System.out.println("uiEvent " + step + ": status " + Integer.toHexString(status));
        } catch (NativeAPIException e) {
            // A database without members cannot start: the tour goes on.
            System.out.println("uiEvent " + step + ": " + e.getMessage());
        }
    }

    /** The text of the first element of that name in a listing, or null. */
    static String firstText(String listing, String element) {
        if (listing == null) {
            return null;
        }
        String open = "<" + element + ">";
        int from = listing.indexOf(open);
        int to = from < 0 ? -1 : listing.indexOf("</" + element + ">", from);
        return to < 0 ? null : listing.substring(from + open.length(), to);
    }

    private static Object[] defaults(Class<?>[] types) {
        Object[] values = new Object[types.length];
        for (int i = 0; i < types.length; i++) {
            Class<?> t = types[i];
            if (t == int.class) {
                values[i] = 0;
            } else if (t == long.class) {
                values[i] = 0L;
            } else if (t == double.class) {
                values[i] = 0.0;
            } else if (t == boolean.class) {
                values[i] = false;
            }
        }
        return values;
    }
}
