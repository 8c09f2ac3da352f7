import com.orvane.util.DisplayWindow;
import com.orvane.util.GraphObject;
import com.orvane.util.NativeAPIException;
import com.orvane.util.StreamClosedException;
import com.orvane.util.TqStream;
import java.awt.Color;
import java.awt.MediaTracker;
import java.awt.Rectangle;
import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeoutException;
import java.util.concurrent.atomic.AtomicReference;
import javax.imageio.ImageIO;
import javax.swing.ImageIcon;

/**
 * The display natives through JNI (TqStream's display rows, DisplayWindow,
 * GraphObject): tables of cases, each a call and the result or the exception
 * (class and message) it must give. Streams come from the test helper
 * library (in-memory streams with channels a and b in volts and c in hz).
 * Prints one line per failed case and exits 1 when any failed.
 */
public final class DisplayNativesCheck extends Cases {
    interface Action {
        void run() throws Exception;
    }

    static native int makeStream(String name, long scans, boolean keepWindows, String channelPrefix);

    static native void releaseStream(int value);

    static native int[] nav(int value);

    private static void expectTrue(String what, Call call) {
        expect(what, call, true);
    }

    private static Call of(Action action) {
        return () -> {
            action.run();
            return null;
        };
    }

    static TqStream stream(int value) {
        TqStream s = new TqStream();
        s.streamHandle = value;
        return s;
    }

    static DisplayWindow window(int handle) {
        DisplayWindow w = new DisplayWindow();
        w.windowHandle = handle;
        return w;
    }

    static GraphObject graph(int handle) {
        GraphObject g = new GraphObject();
        g.graphObjectHandle = handle;
        return g;
    }

    /** The text between the axis element of unit and its end. */
    static String axis(String listing, String unit) {
        int at = listing.indexOf("<axis id=\"" + unit + "\">");
        if (at < 0) {
            return "";
        }
        return listing.substring(at, listing.indexOf("</axis>", at));
    }

    /** Decodes the icon's image through javax.imageio, as a caller saving it would. */
    static BufferedImage decoded(ImageIcon icon) throws Exception {
        BufferedImage drawn = new BufferedImage(icon.getIconWidth(), icon.getIconHeight(), BufferedImage.TYPE_INT_RGB);
        drawn.getGraphics().drawImage(icon.getImage(), 0, 0, null);
        ByteArrayOutputStream png = new ByteArrayOutputStream();
        ImageIO.write(drawn, "png", png);
        return ImageIO.read(new ByteArrayInputStream(png.toByteArray()));
    }

    public static void main(String[] args) throws Exception {
        System.load(args[0]);
        System.load(args[1]);
        Path work = Path.of(args[2]);
        tqStreamRows(work);
        displayWindowRows();
        graphObjectRows(work);
        lockAcrossThreads();
        staleAndForeign();
        finish();
    }

    static void tqStreamRows(Path work) throws Exception {
        // Every row on 0, then on a value of no stream.
        for (TqStream none : new TqStream[] {stream(0), stream(0x40000123)}) {
            String h = "TqStream " + none.streamHandle + " ";
            Class<?> closed = StreamClosedException.class;
            expectThrow(h + "getGraph", () -> none.getGraph(100, 100, 3, 0, 1), closed, "No stream handle");
            expectThrow(h + "getGraphNav", () -> none.getGraphNav(100, 100), closed, "No stream handle");
            expectThrow(h + "setGraphInfo", of(() -> none.setGraphInfo("volts", 0, 1, Color.RED)), closed,
                    "No stream handle");
            expectThrow(h + "listAxes", () -> none.listAxes(), closed, "No stream handle");
            expectThrow(h + "writeXML", of(() -> none.writeXML(work.toString())), NativeAPIException.class,
                    "Failure in StreamWriteXML");
            expectThrow(h + "listn", () -> none.listn(), closed, "No stream handle");
            expectThrow(h + "newDisplayWindown", () -> none.newDisplayWindown("w", 0, 0, 1, 1), closed,
                    "No stream handle");
            expectThrow(h + "getNumberDisplayWindowsn", () -> none.getNumberDisplayWindowsn(), closed,
                    "No stream handle");
            expectThrow(h + "getDisplayWindowByIndexn", () -> none.getDisplayWindowByIndexn(0), closed,
                    "No stream handle");
            expectThrow(h + "getDisplayWindown", () -> none.getDisplayWindown(""), closed, "No stream handle");
            expectThrow(h + "getGraphObjectn", () -> none.getGraphObjectn(), closed, "No stream handle");
            expect(h + "verifyDisplayWindows does nothing", of(() -> none.verifyDisplayWindows()), null);
        }

        TqStream s = stream(makeStream("rows", 1000, true, ""));
        expect("a new stream has its default window", () -> s.getNumberDisplayWindowsn(), 1);
        int w1 = s.newDisplayWindown("w1", 1, 2, 300, 200);
        expectTrue("newDisplayWindown gives a handle", () -> w1 != 0);
        expect("newDisplayWindown adds a window", () -> s.getNumberDisplayWindowsn(), 2);
        expect("getDisplayWindowByIndexn(1)", () -> window(s.getDisplayWindowByIndexn(1)).getTitlen(), "w1");
        expect("getDisplayWindowByIndexn(-1) is the first", () -> window(s.getDisplayWindowByIndexn(-1)).getTitlen(),
                "");
        expect("getDisplayWindowByIndexn past the end", () -> s.getDisplayWindowByIndexn(2), 0);
        expect("getDisplayWindown by title", () -> window(s.getDisplayWindown("w1")).getXn(), 1);
        expect("getDisplayWindown of no title", () -> s.getDisplayWindown("nowhere"), 0);
        expectThrow("getDisplayWindown(null)", () -> s.getDisplayWindown(null), NullPointerException.class, null);
        expect("each lookup is a handle of its own", () -> s.getDisplayWindown("w1") != s.getDisplayWindown("w1"),
                true);
        GraphObject d = graph(s.getGraphObjectn());
        expect("getGraphObjectn is the default graph object", () -> d.getXn(), -1);

        // The colour's alpha byte stays out of the stream's colours.
        s.setGraphInfo("volts", 1.5, 4.0, new Color(0x12, 0x34, 0x56));
        expectTrue("setGraphInfo stores 0xRRGGBB",
                () -> axis(d.listAxes(), "volts").contains("<color>123456</color>"));
        expectTrue("setGraphInfo stores centre and span", () -> axis(d.listAxes(), "volts")
                .contains("<center>1.500000</center><span>4.000000</span>"));
        expectTrue("graph.xml keeps the colour without alpha",
                () -> s.listn().contains("<color>123456</color>") && !s.listn().contains("ff123456"));
        expectThrow("setGraphInfo null colour", of(() -> s.setGraphInfo("volts", 0, 1, null)),
                NullPointerException.class, null);

        String axes = s.listAxes();
        expectTrue("listAxes lists the units", () -> axes.startsWith("<?xml version=\"1.0\"?><axes>")
                && axes.endsWith("</axes>") && axes.indexOf("<eu>hz</eu>") < axes.indexOf("<eu>volts</eu>"));
        // Enough windows for a document of several 1024-byte chunks.
        for (int i = 0; i < 8; i++) {
            window(s.newDisplayWindown("more" + i, i, i, 10, 10)).newGraphObjectn("g" + i, 0, 0, 5, 5);
        }
        String xml = s.listn();
        expectTrue("listn spans several chunks", () -> xml.length() > 3000);
        expectTrue("listn is the whole document",
                () -> xml.startsWith("<?xml version=\"1.0\"?><stream>") && xml.endsWith("</stream>")
                        && xml.contains("<displaywindow id=\"more7\">"));
        s.writeXML(work.toString());
        expect("writeXML writes what listn lists", () -> Files.readString(work.resolve("graph.xml")), xml);
        expectThrow("writeXML to no directory", of(() -> s.writeXML(work.resolve("none/such").toString())),
                NativeAPIException.class, "Failure in StreamWriteXML");

        ImageIcon icon = s.getGraph(400, 300, 3, 0.0, 10.0);
        expectTrue("getGraph decodes", () -> icon.getImageLoadStatus() == MediaTracker.COMPLETE);
        expect("getGraph at the size asked", () -> icon.getIconWidth() + "x" + icon.getIconHeight(), "400x300");
        BufferedImage back = decoded(icon);
        expect("getGraph through javax.imageio", () -> back.getWidth() + "x" + back.getHeight(), "400x300");
        expectTrue("getGraph holds the drawing, not a blank image", () -> {
            java.util.Set<Integer> colours = new java.util.HashSet<>();
            for (int y = 0; y < back.getHeight(); y += 3) {
                for (int x = 0; x < back.getWidth(); x += 3) {
                    colours.add(back.getRGB(x, y));
                }
            }
            return colours.size() >= 3; // background, axes, plot
        });
        int[] v = nav(s.streamHandle); // left, right, bottom, top
        expect("getGraphNav from left, right, bottom, top", () -> s.getGraphNav(400, 300),
                new Rectangle(v[0], v[3], v[1] - v[0] + 1, v[2] - v[3] + 1));
        expectTrue("the plot lies inside the image", () -> v[0] > 0 && v[1] < 400 && v[3] > 0 && v[2] < 300);
        expect("verifyDisplayWindows", of(() -> s.verifyDisplayWindows()), null);

        TqStream bare = stream(makeStream("bare", 10, false, ""));
        expect("a stream without windows has 0", () -> bare.getNumberDisplayWindowsn(), 0);
        expect("and no window at index 0", () -> bare.getDisplayWindowByIndexn(0), 0);
        expect("getGraphObjectn makes its default window", () -> bare.getGraphObjectn() != 0
                && bare.getNumberDisplayWindowsn() == 1, true);
    }

    static void displayWindowRows() throws Exception {
        for (DisplayWindow none : new DisplayWindow[] {window(0), window(0x40000123)}) {
            String h = "DisplayWindow " + none.windowHandle + " ";
            Class<?> closed = StreamClosedException.class;
            Call[] calls = {
                of(() -> none.setTitlen("t")), () -> none.getTitlen(), of(() -> none.setXn(1)), () -> none.getXn(),
                of(() -> none.setYn(1)), () -> none.getYn(), of(() -> none.setWidthn(1)), () -> none.getWidthn(),
                of(() -> none.setHeightn(1)), () -> none.getHeightn(), () -> none.newGraphObjectn("g", 0, 0, 1, 1),
                () -> none.getGraphObjectn("g"),
            };
            for (int i = 0; i < calls.length; i++) {
                expectThrow(h + "row " + i, calls[i], closed, "No stream handle");
            }
            expectThrow(h + "removeGraphObject", of(() -> none.removeGraphObject(new GraphObject())),
                    NativeAPIException.class, "Failure in remove graph object");
            expectThrow(h + "linkGraphObject", of(() -> none.linkGraphObject(new GraphObject())),
                    NativeAPIException.class, "Failure in add graph object");
            expectThrow(h + "closeHandle", of(() -> none.closeHandle()), closed, "No stream handle to close");
        }

        TqStream s = stream(makeStream("windows", 100, true, ""));
        DisplayWindow w = window(s.newDisplayWindown("w", 0, 0, 0, 0));
        w.setTitlen("t2");
        expect("setTitlen, getTitlen", () -> w.getTitlen(), "t2");
        w.setTitlen("x".repeat(200));
        expect("a title keeps 127 characters", () -> w.getTitlen(), "x".repeat(127));
        w.setXn(5);
        w.setYn(6);
        w.setWidthn(700);
        w.setHeightn(-1);
        expect("x, y, width, height", () -> w.getXn() + "," + w.getYn() + "," + w.getWidthn() + "," + w.getHeightn(),
                "5,6,700,-1");
        expectThrow("setTitlen(null)", of(() -> w.setTitlen(null)), NullPointerException.class, null);

        GraphObject g = graph(w.newGraphObjectn("g1", 1, 2, 3, 4));
        expect("newGraphObjectn", () -> g.getTitlen() + g.getXn() + g.getYn() + g.getWidthn() + g.getHeightn(),
                "g11234");
        GraphObject same = graph(w.getGraphObjectn("g1"));
        expect("getGraphObjectn by title", () -> same.getXn(), 1);
        expect("getGraphObjectn of no title", () -> w.getGraphObjectn("nothing"), 0);

        w.removeGraphObject(g);
        expectThrow("a removed graph object reads as 0", () -> g.getTitlen(), StreamClosedException.class,
                "No stream handle");
        expectThrow("through every handle", () -> same.getXn(), StreamClosedException.class, "No stream handle");
        expectThrow("removing it again", of(() -> w.removeGraphObject(g)), NativeAPIException.class,
                "Failure in remove graph object");
        expectThrow("removeGraphObject(null)", of(() -> w.removeGraphObject(null)), NativeAPIException.class,
                "Failure in remove graph object");
        DisplayWindow other = window(s.newDisplayWindown("other", 0, 0, 0, 0));
        GraphObject elsewhere = graph(other.newGraphObjectn("e", 0, 0, 0, 0));
        expectThrow("removing one of another window", of(() -> w.removeGraphObject(elsewhere)),
                NativeAPIException.class, "Failure in remove graph object");
        expect("which stays there", () -> elsewhere.getTitlen(), "e");
        expectThrow("linking one that is in a window", of(() -> w.linkGraphObject(elsewhere)),
                NativeAPIException.class, "Failure in add graph object");

        w.linkGraphObject(g);
        expect("a removed graph object links again", () -> g.getTitlen(), "g1");
        expect("into the window", () -> w.getGraphObjectn("g1") != 0, true);
        expect("and draws", () -> g.getGraph(200, 100, 3).getIconWidth(), 200);
        expectThrow("linking it twice", of(() -> w.linkGraphObject(g)), NativeAPIException.class,
                "Failure in add graph object");
        expectThrow("linkGraphObject(null)", of(() -> w.linkGraphObject(null)), NativeAPIException.class,
                "Failure in add graph object");

        // A graph object moved to a window of another stream draws that stream.
        TqStream s2 = stream(makeStream("second", 100, true, "s2."));
        DisplayWindow w2 = window(s2.newDisplayWindown("w2", 0, 0, 0, 0));
        other.removeGraphObject(elsewhere);
        w2.linkGraphObject(elsewhere);
        expect("moved to another stream's window", () -> elsewhere.getStreamn(), s2.streamHandle);
        expectTrue("and bound to that stream's channels", () -> elsewhere.listAxes().contains("<name>s2.a</name>")
                && !elsewhere.listAxes().contains("<name>a</name>"));
        releaseStream(s.streamHandle);
        expect("and outlives the first stream", () -> elsewhere.getGraph(120, 80, 4).getIconHeight(), 80);

        w2.closeHandle();
        expectThrow("closeHandle twice", of(() -> w2.closeHandle()), StreamClosedException.class,
                "No stream handle to close");
        expectThrow("a closed handle reads as 0", () -> w2.getTitlen(), StreamClosedException.class,
                "No stream handle");
        expect("the window stays in its stream", () -> window(s2.getDisplayWindown("w2")).getTitlen(), "w2");
    }

    static void graphObjectRows(Path work) throws Exception {
        for (GraphObject none : new GraphObject[] {graph(0), graph(0x40000123)}) {
            String h = "GraphObject " + none.graphObjectHandle + " ";
            Class<?> closed = StreamClosedException.class;
            Class<?> api = NativeAPIException.class;
            Object[][] rows = {
                {of(() -> none.setTitlen("t")), closed, "No stream handle"},
                {(Call) () -> none.getTitlen(), closed, "No stream handle"},
                {of(() -> none.setXn(1)), closed, "No stream handle"},
                {(Call) () -> none.getXn(), closed, "No stream handle"},
                {of(() -> none.setYn(1)), closed, "No stream handle"},
                {(Call) () -> none.getYn(), closed, "No stream handle"},
                {of(() -> none.setBgColorn(1)), api, "Failure in GraphObjectSetAxisColor"},
                {of(() -> none.setGridEnable(true)), api, "Failure in GraphObjectSetAxisColor"},
                {of(() -> none.setWidthn(1)), closed, "No stream handle"},
                {(Call) () -> none.getWidthn(), closed, "No stream handle"},
                {of(() -> none.setHeightn(1)), closed, "No stream handle"},
                {(Call) () -> none.getHeightn(), closed, "No stream handle"},
                {of(() -> none.domainRescale(1, 0)), api, "Failure in GraphObjectDomainRescale"},
                {of(() -> none.domainReset(true, true)), api, "Failure in GraphObjectDomainReset"},
                {of(() -> none.axisRescale("volts", 1, 0)), api, "Failure in GraphObjectAxisRescale"},
                {of(() -> none.axisReset("volts", true, true, true)), api, "Failure in GraphObjectAxisReset"},
                {of(() -> none.setAxisColorn("volts", 1)), api, "Failure in GraphObjectSetAxisColor"},
                {of(() -> none.setChannelEnable("a", true)), api, "Failure in GraphObjectSetChannelEnable"},
                {of(() -> none.setChannelColorn("a", 1)), api, "Failure in GraphObjectSetChannelColor"},
                {(Call) () -> none.getGraphEu(1, 1, 1, 1), api, "Failure in GraphObjectGetGraphEu"},
                {of(() -> none.setAxisCenter("volts", 1)), api, "Failure in GraphObjectSetAxisCenter"},
                {of(() -> none.setAxisSpan("volts", 1)), api, "Failure in GraphObjectSetAxisSpan"},
                {of(() -> none.setAxisSelected("volts")), api, "Failure in GraphObjectSetAxisSpan"},
                {(Call) () -> none.getAxisVisible("volts"), api, "Failure in GraphObjectGetAxisVisible"},
                {of(() -> none.setStartTime(0)), api, "Failure in GraphObjectSetStartTime"},
                {of(() -> none.setDuration(1)), api, "Failure in GraphObjectSetDuration"},
                {(Call) () -> none.getGraph(10, 10, 3), api, "Failure in GraphObjectGetGraph"},
                {(Call) () -> none.listAxes(), api, "Failure in GraphObjectListAxes"},
                {of(() -> none.setAxisEnable("volts", true)), api, "Failure in GraphObjectSetAxisEnable"},
                {of(() -> none.reset()), api, "Failure in GraphObjectReset"},
                {of(() -> none.channelReset("a")), api, "Failure in GraphObjectSetChannelColor"},
                {of(() -> none.lock(0)), api, "No Graph object Handle"},
                {of(() -> none.unlock()), api, "No Graph object Handle"},
                {(Call) () -> none.getStreamn(), closed, "No stream For GraphObject"},
                {(Call) () -> none.getDisplayWindown(), closed, "No displaywindow For GraphObject"},
                {of(() -> none.convertToAscii(work.resolve("x.txt").toString())), closed, "No stream handle"},
                {of(() -> none.closeHandle()), closed, "No stream handle to close"},
            };
            for (int i = 0; i < rows.length; i++) {
                expectThrow(h + "row " + i, (Call) rows[i][0], (Class<?>) rows[i][1], (String) rows[i][2]);
            }
        }

        TqStream s = stream(makeStream("graphs", 1000, true, ""));
        DisplayWindow w = window(s.newDisplayWindown("gw", 0, 0, 0, 0));
        GraphObject g = graph(w.newGraphObjectn("g", 0, 0, 0, 0));
        g.setTitlen("title");
        g.setXn(10);
        g.setYn(20);
        g.setWidthn(30);
        g.setHeightn(40);
        expect("title, x, y, width, height",
                () -> g.getTitlen() + g.getXn() + "," + g.getYn() + "," + g.getWidthn() + "," + g.getHeightn(),
                "title10,20,30,40");
        g.setBgColorn(0x102030);
        g.setGridEnable(false);
        expectTrue("setBgColorn, setGridEnable",
                () -> g.listAxes().contains("<bgcolor>102030</bgcolor><gridenable>0</gridenable>"));
        g.setStartTime(0.0);
        g.setDuration(5.0);
        expectTrue("setStartTime, setDuration",
                () -> g.listAxes().contains("<starttime>0.000000</starttime><duration>5.000000</duration>"));
        g.domainRescale(4.0, 0.0); // 10 s of data: the zoom stops there
        expectTrue("domainRescale", () -> g.listAxes().contains("<duration>10.000000</duration>"));
        g.setStartTime(3.0);
        g.domainReset(true, true);
        expectTrue("domainReset", () -> g.listAxes().contains("<starttime>0.000000</starttime>"));
        g.axisRescale("volts", 2.0, 1.0);
        expectTrue("axisRescale", () -> axis(g.listAxes(), "volts")
                .contains("<center>2.000000</center><span>40.000000</span>"));
        g.setAxisColorn("volts", 0xff0000);
        g.axisReset("volts", true, true, true);
        expectTrue("axisReset", () -> axis(g.listAxes(), "volts")
                .contains("<color>6699</color><center>0.000000</center><span>20.000000</span>"));
        g.setAxisColorn("hz", 0xff0000);
        g.setAxisCenter("hz", 100.0);
        g.setAxisSpan("hz", 50.0);
        expectTrue("setAxisColorn, setAxisCenter, setAxisSpan", () -> axis(g.listAxes(), "hz")
                .contains("<color>ff0000</color><center>100.000000</center><span>50.000000</span>"));
        g.setChannelColorn("b", 0x00ff00);
        g.setChannelEnable("a", false);
        expectTrue("setChannelColorn", () -> axis(g.listAxes(), "volts")
                .contains("<channel id=\"b\"><name>b</name><color>ff00</color>"));
        expectTrue("setChannelEnable", () -> axis(g.listAxes(), "volts")
                .contains("<channel id=\"a\"><name>a</name><color>6699</color><enable>0</enable>"));
        g.channelReset("a");
        expectTrue("channelReset", () -> axis(g.listAxes(), "volts")
                .contains("<channel id=\"a\"><name>a</name><color>6699</color><enable>1</enable>"));
        expect("an unknown channel changes nothing", of(() -> g.setChannelEnable("nope", false)), null);
        g.setAxisSelected("volts");
        expectTrue("setAxisSelected makes the axis last",
                () -> g.listAxes().lastIndexOf("<axis id=\"volts\">") > g.listAxes().indexOf("<axis id=\"hz\">"));
        expect("getAxisVisible", () -> g.getAxisVisible("volts"), true);
        g.setAxisEnable("volts", false);
        expect("setAxisEnable", () -> g.getAxisVisible("volts"), false);
        expect("getAxisVisible of no axis", () -> g.getAxisVisible("psi"), false);
        g.reset();
        expect("reset", () -> g.getAxisVisible("volts") && g.listAxes().contains("<bgcolor>ffffff</bgcolor>"), true);

        g.setStartTime(0.0);
        g.setDuration(10.0);
        g.setBgColorn(0x102030);
        ImageIcon icon = g.getGraph(800, 600, 4);
        expectTrue("getGraph decodes", () -> icon.getImageLoadStatus() == MediaTracker.COMPLETE);
        BufferedImage back = decoded(icon);
        expect("getGraph decodes to the size asked", () -> back.getWidth() + "x" + back.getHeight(), "800x600");
        expect("in the background colour", () -> back.getRGB(1, 1) & 0xffffff, 0x102030);
        double[] eu = g.getGraphEu(400, 300, 800, 600);
        expectTrue("getGraphEu inside the plot", () -> eu.length == 2 && eu[0] > 0 && eu[0] < 10);
        GraphObject unseen = graph(w.newGraphObjectn("unseen", 0, 0, 0, 0));
        expectThrow("getGraphEu before any rendering", () -> unseen.getGraphEu(400, 300, 800, 600),
                NativeAPIException.class, "Failure in GraphObjectGetGraphEu");

        g.lock(1000);
        g.lock(1000);
        g.unlock();
        g.unlock();
        expect("a third unlock does nothing", of(() -> g.unlock()), null);

        expect("getStreamn is the stream's value", () -> g.getStreamn(), s.streamHandle);
        expect("getDisplayWindown", () -> window(g.getDisplayWindown()).getTitlen(), "gw");

        Path text = work.resolve("graph.txt");
        g.convertToAscii(text.toString());
        expectTrue("convertToAscii writes the window", () -> Files.readString(text)
                .startsWith("TimeStamp\tElapsedTime\ta(volts)\tb(volts)\tc(hz)\n"));
        expectThrow("convertToAscii to no directory",
                of(() -> g.convertToAscii(work.resolve("none/x.txt").toString())), NativeAPIException.class,
                "Failure or abort in ConvertToAscii");
        expectThrow("convertToAscii(null)", of(() -> g.convertToAscii(null)), NullPointerException.class, null);

        GraphObject second = graph(w.getGraphObjectn("title"));
        g.closeHandle();
        expectThrow("closeHandle twice", of(() -> g.closeHandle()), StreamClosedException.class,
                "No stream handle to close");
        expect("another handle of it lives on", () -> second.getXn(), 10);
    }

    /** The stream's lock belongs to the thread that took it. */
    static void lockAcrossThreads() throws Exception {
        TqStream s = stream(makeStream("locks", 100, true, ""));
        GraphObject g = graph(s.getGraphObjectn());
        GraphObject other = graph(s.getGraphObjectn());
        g.lock(1000);
        AtomicReference<Exception> unlock = new AtomicReference<>();
        AtomicReference<Exception> lock = new AtomicReference<>();
        Thread t = new Thread(() -> {
            try {
                g.unlock();
            } catch (Exception e) {
                unlock.set(e);
            }
            try {
                other.lock(0);
                other.unlock();
            } catch (Exception e) {
                lock.set(e);
            }
        });
        t.start();
        t.join();
        expect("an unlock from another thread is refused", () -> String.valueOf(unlock.get()),
                new NativeAPIException("Failure on unlock").toString());
        expect("and the lock stays held", () -> String.valueOf(lock.get()),
                new TimeoutException("Timeout on lock").toString());
        g.unlock();
        CountDownLatch done = new CountDownLatch(1);
        AtomicReference<Exception> after = new AtomicReference<>();
        Thread u = new Thread(() -> {
            try {
                other.lock(0);
                other.unlock();
            } catch (Exception e) {
                after.set(e);
            }
            done.countDown();
        });
        u.start();
        done.await();
        expect("the owner's unlock frees it", () -> after.get(), null);
    }

    static void staleAndForeign() throws Exception {
        TqStream s = stream(makeStream("stale", 100, true, ""));
        DisplayWindow w = window(s.newDisplayWindown("w", 0, 0, 0, 0));
        DisplayWindow first = window(s.getDisplayWindowByIndexn(0));
        GraphObject g = graph(w.newGraphObjectn("g", 0, 0, 0, 0));
        GraphObject d = graph(s.getGraphObjectn());
        int value = s.streamHandle;

        // Handles of one table are no handles of another.
        expectThrow("a window handle as a graph object", () -> graph(w.windowHandle).getTitlen(),
                StreamClosedException.class, "No stream handle");
        expectThrow("a graph object handle as a window", () -> window(g.graphObjectHandle).getTitlen(),
                StreamClosedException.class, "No stream handle");
        expectThrow("a window handle as a stream", () -> stream(w.windowHandle).getNumberDisplayWindowsn(),
                StreamClosedException.class, "No stream handle");
        expectThrow("a stream value as a window", () -> window(value).getXn(), StreamClosedException.class,
                "No stream handle");

        releaseStream(value);
        Class<?> closed = StreamClosedException.class;
        expectThrow("the stream is gone", () -> s.getNumberDisplayWindowsn(), closed, "No stream handle");
        expectThrow("a window whose stream was released", () -> w.getTitlen(), closed, "No stream handle");
        expectThrow("its default window", () -> first.getXn(), closed, "No stream handle");
        expectThrow("a graph object of it", () -> g.getTitlen(), closed, "No stream handle");
        expectThrow("the default graph object", () -> d.getGraph(10, 10, 3), NativeAPIException.class,
                "Failure in GraphObjectGetGraph");
        expectThrow("setAxisSelected", of(() -> g.setAxisSelected("volts")), NativeAPIException.class,
                "Failure in GraphObjectSetAxisSpan");
        expectThrow("channelReset", of(() -> g.channelReset("a")), NativeAPIException.class,
                "Failure in GraphObjectSetChannelColor");
        expectThrow("no window to make graph objects in", () -> w.newGraphObjectn("x", 0, 0, 0, 0), closed,
                "No stream handle");
        // Closing still gives each handle's reference back, once.
        for (Action close : new Action[] {w::closeHandle, first::closeHandle, g::closeHandle, d::closeHandle}) {
            expect("close of a stale handle", of(close), null);
            expectThrow("and not twice", of(close), closed, "No stream handle to close");
        }
    }
}
