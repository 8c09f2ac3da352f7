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
 *            uiEvent texts, the events that reached Java, and the running
 *            instrument's stream: averaged, recorded, drawn as a graph (a PNG
 *            file) with its display XML, and the recording replayed. Files go
 *            to the directory named after the step (default: the current one)
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
                tour(args.length > first + 1 ? args[first + 1] : ".");
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

    private static void tour(String directory) throws Exception {
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
            String recording = runningStream(daq, board, directory);
            uiEvent(daq, db, "navigator;operation;stop");
            if (recording != null) {
                replay(recording);
            }
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

    /**
     * The board's stream while it runs: its channel means, half a second of
     * it recorded, a display window with a graph object saved as a PNG
     * file, and the stream's display XML. Returns the recording's path, or
     * null when there is no stream.
     */
    private static String runningStream(TqDaq daq, String board, String directory) throws Exception {
        String listing = daq.listStreams();
        System.out.println("streams: " + listing);
        String handle = board == null ? null : streamHandle(listing, board);
        if (handle == null) {
            Thread.sleep(500);
            return null;
        }
        TqStream stream = new TqStream();
        stream.streamHandle = Integer.parseInt(handle);
        java.io.File dir = new java.io.File(directory).getAbsoluteFile();
        String recording = new java.io.File(dir, "tour718.stm").getPath();
        stream.captureOpen(recording, 0);
        Thread.sleep(1000);
        stream.captureClose();
        double[] means = stream.getAveraged(50);
        System.out.println("stream '" + stream.getName() + "' at " + stream.getRate() + " scans/s; means of its last 50 scans: "
                + (means == null ? "none" : Arrays.toString(means)));
        System.out.println("recorded: " + recording);

        DisplayWindow window = new DisplayWindow();
        window.windowHandle = stream.newDisplayWindown("tour", 0, 0, 800, 600);
        GraphObject graph = new GraphObject();
        graph.graphObjectHandle = window.newGraphObjectn("tour graph", 0, 0, 800, 600);
        javax.swing.ImageIcon icon = graph.getGraph(800, 600, 0);
        if (icon != null) {
            java.io.File png = new java.io.File(dir, "tour718.png");
            java.awt.image.BufferedImage image = new java.awt.image.BufferedImage(icon.getIconWidth(),
                    icon.getIconHeight(), java.awt.image.BufferedImage.TYPE_INT_RGB);
            java.awt.Graphics2D g = image.createGraphics();
            g.drawImage(icon.getImage(), 0, 0, null);
            g.dispose();
            javax.imageio.ImageIO.write(image, "png", png);
            System.out.println("graph object '" + graph.getTitlen() + "' drawn: " + png.getPath() + " ("
                    + image.getWidth() + "x" + image.getHeight() + ")");
        }
        stream.writeXML(dir.getPath());
        System.out.println("display XML written to " + dir.getPath());
        graph.closeHandle();
        window.closeHandle();
        return recording;
    }

    /** The handle of the stream named after the board in a stream listing. */
    static String streamHandle(String listing, String board) {
        if (listing == null) {
            return null;
        }
        int at = listing.indexOf("<name>" + board + "</name>");
        if (at < 0) {
            // Members' streams follow the formula stream, which comes first.
            at = listing.lastIndexOf("<stream>");
            if (at <= listing.indexOf("<stream>")) {
                return null;
            }
        }
        return firstText(listing.substring(at), "handle");
    }

    /** The recording through a file stream: its name, rate and means. */
    private static void replay(String recording) {
        TqStream file = new TqStream();
        file.openFileStream(recording);
        if (file.streamHandle == 0) {
            System.out.println("the recording did not open");
            return;
        }
        double[] means = file.getAveraged(50);
        System.out.println("replayed through openFileStream: '" + file.getName() + "' at " + file.getRate()
                + " scans/s; means of 50 scans: " + (means == null ? "none" : Arrays.toString(means)));
        file.closeHandle();
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
