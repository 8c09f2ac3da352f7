import com.orvane.util.InstrumentEvent;
import com.orvane.util.NativeAPIException;
import com.orvane.util.ShellExecute;
import com.orvane.util.StreamChannel;
import com.orvane.util.StreamClosedException;
import com.orvane.util.TqDaq;
import com.orvane.util.TqFormulaEngine;
import com.orvane.util.TqStream;
import com.orvane.util.TqStreamMsg;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeoutException;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The stream natives through JNI: per class, a table of cases, each a call
 * and the result or the exception (class and message) it must give.
 * Arguments: the natives library, the fixture library, a work directory.
 * Prints one line per failed case and exits 1 when any failed.
 */
public final class StreamNativesCheck extends Cases {
    private static TqStream stream(int handle) {
        TqStream s = new TqStream();
        s.streamHandle = handle;
        return s;
    }

    /** A listener that keeps the texts it hears and clears bit 4. */
    public static final class Recorder {
        final List<String> texts = new ArrayList<>();
        Object lastSource;

        public synchronized void actionPerformed(InstrumentEvent event) {
            texts.add(event.getMessage());
            lastSource = event.getSource();
            event.clearMask = 4;
        }

        synchronized int count() {
            return texts.size();
        }
    }

    // ---- a recorded stream file: two channels of doubles, "A" in V and "B" in mA ----

    private static byte[] chunk(String id, byte[] body) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.writeBytes(id.getBytes());
        out.writeBytes(ByteBuffer.allocate(4).putInt(body.length).array());
        out.writeBytes(body);
        if (body.length % 2 == 1) {
            out.write(0);
        }
        return out.toByteArray();
    }

    private static byte[] concat(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] p : parts) {
            out.writeBytes(p);
        }
        return out.toByteArray();
    }

    private static byte[] channel(String name, String eu) {
        return chunk("CHAN", concat(chunk("NAME", name.getBytes()), chunk("EU  ", eu.getBytes()),
                chunk("XFRM", ByteBuffer.allocate(2).putShort((short) 11).array()),
                chunk("PRCS", new byte[0]), chunk("POCS", new byte[0])));
    }

    /** scans scans at 100 scans/s: A = i, B = 10 + i. */
    static void writeRecording(File file, int scans) throws IOException {
        ByteBuffer data = ByteBuffer.allocate(scans * 16).order(ByteOrder.LITTLE_ENDIAN);
        for (int i = 0; i < scans; i++) {
            data.putDouble(i).putDouble(10 + i);
        }
        byte[] conf = chunk("CONF", concat(chunk("CHNS", concat(channel("A", "V"), channel("B", "mA"))),
                chunk("CLKR", ByteBuffer.allocate(8).putDouble(100.0).array()),
                chunk("DECI", ByteBuffer.allocate(4).putInt(1).array()),
                chunk("TIME", ByteBuffer.allocate(8).putLong(1700000000L).array()),
                chunk("SCPP", ByteBuffer.allocate(4).putInt(0).array())));
        byte[] dataChunk = concat("DATA".getBytes(), ByteBuffer.allocate(4).putInt(data.capacity()).array(),
                data.array());
        byte[] body = concat("STRM".getBytes(), conf, dataChunk);
        Files.write(file.toPath(), concat("FORM".getBytes(), ByteBuffer.allocate(4).putInt(body.length).array(), body));
    }

    static List<Integer> listedHandles(String listing) {
        List<Integer> out = new ArrayList<>();
        Matcher m = Pattern.compile("<handle>(\\d+)</handle>").matcher(listing);
        while (m.find()) {
            out.add((int) Long.parseLong(m.group(1)));
        }
        return out;
    }

    public static void main(String[] args) throws Exception {
        System.load(args[0]);
        System.load(args[1]);
        File work = new File(args[2]);
        File replay = new File(work, "replay");
        replay.mkdirs();
        File recording = new File(replay, "rec.stm");
        writeRecording(recording, 10);

        tqStreamCases(recording);
        listedAndEngineStreams(replay);
        messageSinkCases();
        channelCases(recording);
        listenerCases(recording);
        shellCases(work);

        finish();
    }

    // ---- TqStream -------------------------------------------------------------------------

    static void closedHandleCases(String label, TqStream s) {
        String no = "No stream handle";
        expectThrow(label + " getRate", () -> s.getRate(), StreamClosedException.class, no);
        expectThrow(label + " getName", () -> s.getName(), StreamClosedException.class, no);
        expectThrow(label + " getScansWritten", () -> s.getScansWritten(), StreamClosedException.class, no);
        expectThrow(label + " setOutputEnable", () -> { s.setOutputEnable(true); return 0; },
                StreamClosedException.class, no);
        expectThrow(label + " closeHandle", () -> { s.closeHandle(); return 0; }, StreamClosedException.class,
                "No stream handle to close");
        expectThrow(label + " captureOpen", () -> { s.captureOpen("x", 0); return 0; },
                StreamClosedException.class, no);
        expectThrow(label + " captureClose", () -> { s.captureClose(); return 0; }, StreamClosedException.class, no);
        expectThrow(label + " lock", () -> { s.lock(10); return 0; }, StreamClosedException.class, no);
        expectThrow(label + " unlock", () -> { s.unlock(); return 0; }, StreamClosedException.class, no);
        expectThrow(label + " getAveraged", () -> s.getAveraged(4), StreamClosedException.class, no);
        expectThrow(label + " clonen", () -> s.clonen(0, 0, 1), StreamClosedException.class, no);
        expect(label + " addListener", () -> s.addListener(-1, new Recorder()), 0);
        expect(label + " removeListener", () -> { s.removeListener(0); return 0; }, 0);
        expect(label + " closeHandle keeps the field", () -> s.streamHandle, s.streamHandle);
    }

    static void tqStreamCases(File recording) throws Exception {
        closedHandleCases("h=0", stream(0));
        closedHandleCases("made-up handle", stream(0x40000123));
        TqStreamMsg sink = new TqStreamMsg();
        sink.create(256);
        closedHandleCases("a message sink's handle", stream(sink.streamMsgHandle));
        sink.close();

        TqStream none = new TqStream();
        none.openFileStream(new File(recording.getParentFile(), "missing.stm").getPath());
        expect("openFileStream of a missing file stores nothing", () -> none.streamHandle, 0);
        expectThrow("openFileStream null", () -> { none.openFileStream(null); return 0; },
                NullPointerException.class, null);

        TqStream file = new TqStream();
        file.openFileStream(recording.getPath());
        expect("openFileStream stores a handle", () -> file.streamHandle != 0, true);
        expect("getRate", () -> file.getRate(), 100.0);
        expect("getName", () -> file.getName(), "rec");
        expect("getScansWritten", () -> file.getScansWritten(), 10);
        expect("getAveraged of the newest 4 scans", () -> java.util.Arrays.toString(file.getAveraged(4)),
                "[7.5, 17.5]");
        expect("setOutputEnable", () -> { file.setOutputEnable(true); return 0; }, 0);
        expectThrow("captureOpen of a file that cannot be made",
                () -> { file.captureOpen("/no/such/directory/out.txt", 0); return 0; }, IOException.class, "");
        expect("captureClose without capture is ignored", () -> { file.captureClose(); return 0; }, 0);

        // The lock belongs to the thread that took it.
        expect("lock and unlock on one thread", () -> { file.lock(1000); file.lock(0); file.unlock(); file.unlock(); return 0; }, 0);
        CountDownLatch held = new CountDownLatch(1);
        CountDownLatch done = new CountDownLatch(1);
        Thread owner = new Thread(() -> {
            try {
                file.lock(1000);
                held.countDown();
                done.await();
                file.unlock();
            } catch (Exception e) {
                fail("lock on the owner thread", "threw " + e);
                held.countDown();
            }
        });
        owner.start();
        held.await();
        expectThrow("lock with time-out 0 on a stream another thread holds", () -> { file.lock(0); return 0; },
                TimeoutException.class, "Timeout on lock");
        expectThrow("unlock from a thread that does not hold the lock", () -> { file.unlock(); return 0; },
                NativeAPIException.class, "Failure on lock");
        done.countDown();
        owner.join();
        expect("lock once the owner let go", () -> { file.lock(1000); file.unlock(); return 0; }, 0);

        // Clones: their own reference, closed once.
        TqStream clone = stream(file.clonen(0, 0, 5));
        expect("clonen gives a stream", () -> clone.streamHandle != 0 && clone.streamHandle != file.streamHandle,
                true);
        expect("the clone's scans", () -> clone.getScansWritten(), 5);
        expect("the clone's rate", () -> clone.getRate(), 100.0);
        expect("closeHandle of the clone", () -> { clone.closeHandle(); return 0; }, 0);
        expectThrow("closeHandle of the clone again", () -> { clone.closeHandle(); return 0; },
                StreamClosedException.class, "No stream handle to close");
        expectThrow("the closed clone reads as 0", () -> clone.getRate(), StreamClosedException.class,
                "No stream handle");
        expect("its source lives on", () -> file.getRate(), 100.0);

        int cannot = StreamFixture.driverStream("noclone", true);
        expectThrow("clonen whose clone cannot be made", () -> stream(cannot).clonen(0, 0, 1),
                StreamClosedException.class, "No stream handle");
        expect("the failed clone released its reader", () -> StreamFixture.readersAlive(), 0);
        expectThrow("closeHandle of a driver's stream Java holds no reference of",
                () -> { stream(cannot).closeHandle(); return 0; }, StreamClosedException.class,
                "No stream handle to close");
        StreamFixture.setScansWritten(cannot, 5_000_000_000L);
        expect("getScansWritten beyond the int range stays at the largest int",
                () -> stream(cannot).getScansWritten(), Integer.MAX_VALUE);
        StreamFixture.setScansWritten(cannot, (1L << 32) + 7);
        expect("getScansWritten at 2^32 + 7 is not 7", () -> stream(cannot).getScansWritten(), Integer.MAX_VALUE);
        StreamFixture.destroy(cannot);
        closedHandleCases("a destroyed driver stream", stream(cannot));

        expect("closeHandle of the file stream", () -> { file.closeHandle(); return 0; }, 0);
        closedHandleCases("a closed file stream", file);
    }

    // Streams the manager lists hold no reference of Java's: closing one
    // must leave the manager's stream alone. Formula engines and their
    // output streams.
    static void listedAndEngineStreams(File replay) throws Exception {
        TqDaq daq = new TqDaq();
        daq.getHandle("operator", "", 0x3c5a, 2);
        List<Integer> listed = listedHandles(daq.listStreams());
        expect("the manager lists its formula stream", () -> listed.isEmpty(), false);
        for (int h : listed) {
            for (int i = 0; i < 3; i++) {
                expectThrow("closeHandle of a listed stream", () -> { stream(h).closeHandle(); return 0; },
                        StreamClosedException.class, "No stream handle to close");
            }
        }
        expect("the listed streams are still there", () -> listedHandles(daq.listStreams()), listed);
        for (int h : listed) {
            expect("a listed stream reads", () -> stream(h).getRate() > 0, true);
        }

        TqFormulaEngine none = new TqFormulaEngine();
        expectThrow("FE closeHandle h=0", () -> { none.closeHandle(); return 0; }, StreamClosedException.class,
                "No stream handle to close");
        expectThrow("FE getFEStream h=0", () -> none.getFEStream("x"), StreamClosedException.class,
                "No stream handle");
        expectThrow("FE writeXML h=0", () -> { none.writeXML(replay.getPath()); return 0; },
                NativeAPIException.class, "failure in writeXML");
        TqFormulaEngine foreign = new TqFormulaEngine();
        foreign.feHandle = listed.get(0);
        expectThrow("FE getFEStream with a stream's handle", () -> foreign.getFEStream("x"),
                StreamClosedException.class, "No stream handle");

        TqFormulaEngine fe = new TqFormulaEngine();
        fe.feHandle = daq.openDataFiles(replay.getPath(), 0);
        expect("openDataFiles gives an engine", () -> fe.feHandle != 0, true);
        TqStream out = stream(fe.getFEStream("replayed"));
        TqStream again = stream(fe.getFEStream("replayed"));
        expect("getFEStream gives the output stream", () -> out.streamHandle != 0, true);
        expect("the output stream's rate is its inputs'", () -> out.getRate(), 100.0);
        expect("writeXML", () -> { fe.writeXML(replay.getPath()); return new File(replay, "formulae.xml").isFile(); },
                true);
        expectThrow("writeXML into a missing directory", () -> { fe.writeXML(replay.getPath() + "/no/such"); return 0; },
                NativeAPIException.class, "failure in writeXML");
        expect("FE closeHandle", () -> { fe.closeHandle(); return 0; }, 0);
        expectThrow("FE closeHandle again", () -> { fe.closeHandle(); return 0; }, StreamClosedException.class,
                "No stream handle to close");
        expectThrow("getFEStream after close", () -> fe.getFEStream("x"), StreamClosedException.class,
                "No stream handle");
        expect("the output stream outlives its engine's handle", () -> out.getRate(), 100.0);
        expect("each handle Java got holds a reference", () -> { out.closeHandle(); return again.getRate(); },
                100.0);
        expect("the last reference", () -> { again.closeHandle(); return 0; }, 0);
        expectThrow("a third close", () -> { again.closeHandle(); return 0; }, StreamClosedException.class,
                "No stream handle to close");
        daq.closeHandle();
    }

    // ---- TqStreamMsg ----------------------------------------------------------------------

    static void messageSinkCases() throws Exception {
        TqStreamMsg none = new TqStreamMsg();
        expect("read h=0", () -> none.read(), null);
        expect("avail h=0", () -> none.avail(), 0L);
        expect("write h=0", () -> { none.write("x"); return 0; }, 0);
        expect("close h=0", () -> { none.close(); return 0; }, 0);
        TqStreamMsg madeUp = new TqStreamMsg();
        madeUp.streamMsgHandle = 0x40000321;
        expect("read of a made-up handle", () -> madeUp.read(), null);
        expect("avail of a made-up handle", () -> madeUp.avail(), 0L);

        TqStreamMsg sink = new TqStreamMsg();
        sink.create(8192);
        expect("create stores a handle", () -> sink.streamMsgHandle != 0, true);
        expect("read of an empty sink", () -> sink.read(), "");
        expect("avail of an empty sink", () -> sink.avail(), 0L);
        sink.write("first");
        sink.write("second");
        expect("avail counts what is pending", () -> sink.avail() > 0, true);
        expect("read the first", () -> sink.read(), "first");
        expect("read the second", () -> sink.read(), "second");
        String big = "x".repeat(2999) + "y";
        sink.write(big);
        expect("a 3000-character message is read whole", () -> sink.read(), big);
        expect("the sink is empty again", () -> sink.read(), "");
        expectThrow("write null", () -> { sink.write(null); return 0; }, NullPointerException.class, null);
        sink.close();
        expect("read after close", () -> sink.read(), null);
        expect("close twice does nothing", () -> { sink.close(); return 0; }, 0);

        TqStreamMsg empty = new TqStreamMsg();
        expectThrow("create of a sink without room", () -> { empty.create(0); return 0; },
                com.orvane.util.HandleException.class, "");
        expect("a refused create stores nothing", () -> empty.streamMsgHandle, 0);
        TqStreamMsg tiny = new TqStreamMsg();
        tiny.create(8);
        expectThrow("a message larger than the whole queue", () -> { tiny.write("far too long for it"); return 0; },
                IOException.class, "");
        tiny.close();
    }

    // ---- StreamChannel --------------------------------------------------------------------

    static void channelCases(File recording) throws Exception {
        StreamChannel c = new StreamChannel();
        c.name = "A";
        expectThrow("initStreamChannel without a stream", () -> { c.initStreamChannel(new TqStream()); return 0; },
                StreamClosedException.class, "No stream handle");
        expectThrow("setGraphChannelEnable of a 0 channel", () -> { c.setGraphChannelEnable(true); return 0; },
                StreamClosedException.class, "No stream handle");
        TqStream file = new TqStream();
        file.openFileStream(recording.getPath());
        c.initStreamChannel(file);
        expect("a channel of the stream", () -> c.pStreamChannel != 0, true);
        expect("setGraphChannelEnable", () -> { c.setGraphChannelEnable(false); c.setGraphChannelEnable(true); return 0; },
                0);
        StreamChannel same = new StreamChannel();
        same.name = "A";
        same.initStreamChannel(file);
        expect("the same channel twice has one handle", () -> same.pStreamChannel, c.pStreamChannel);
        StreamChannel unknown = new StreamChannel();
        unknown.name = "nope";
        unknown.pStreamChannel = 77;
        unknown.initStreamChannel(file);
        expect("an unknown channel name stores 0", () -> unknown.pStreamChannel, 0);
        StreamChannel foreign = new StreamChannel();
        foreign.pStreamChannel = file.streamHandle;
        expectThrow("a stream's handle as a channel", () -> { foreign.setGraphChannelEnable(true); return 0; },
                StreamClosedException.class, "No stream handle");
        file.closeHandle();
        expectThrow("a channel of a released stream reads as 0", () -> { c.setGraphChannelEnable(true); return 0; },
                StreamClosedException.class, "No stream handle");
    }

    // ---- stream listeners ------------------------------------------------------------------

    static void listenerCases(File recording) throws Exception {
        TqStream file = new TqStream();
        file.openFileStream(recording.getPath());
        int value = file.streamHandle;
        Recorder recorder = new Recorder();
        int h = file.addListener(-1, recorder);
        expect("addListener gives a record", () -> h != 0, true);
        StreamFixture.post(value, 2, "hello", 1);
        expect("an event from a native thread reaches Java", () -> recorder.texts, List.of("hello"));
        expect("the event's source is the TqStream", () -> recorder.lastSource == file, true);
        expect("the listener's clearMask goes back to the poster", () -> StreamFixture.lastClearMask(), 4);
        List<Integer> records = new ArrayList<>();
        for (int i = 0; i < 3; i++) {
            records.add(file.addListener(-1, new Recorder()));
        }
        expect("a fourth listener finds the handler table full", () -> records.get(2), 0);
        for (int r : records) {
            file.removeListener(r);
        }
        file.removeListener(h);
        expect("removeListener twice does nothing", () -> { file.removeListener(h); return 0; }, 0);
        StreamFixture.post(value, 2, "unheard", 1);
        expect("a removed listener hears nothing", () -> recorder.count(), 1);
        expectThrow("addListener with a null listener", () -> file.addListener(1, null), NullPointerException.class,
                "listener");

        // Add and remove while another thread posts without pause.
        StreamFixture.startFlood(value);
        Recorder flooded = new Recorder();
        for (int i = 0; i < 300; i++) {
            int r = file.addListener(1, flooded);
            file.removeListener(r);
        }
        int after = flooded.count();
        StreamFixture.stopFlood();
        expect("nothing is delivered after the last removal", () -> flooded.count(), after);

        // A listener left on a stream that goes: removing it later is harmless.
        int left = file.addListener(-1, new Recorder());
        file.closeHandle();
        expect("removeListener after the stream went", () -> { file.removeListener(left); return 0; }, 0);
    }

    // ---- ShellExecute ----------------------------------------------------------------------

    static void shellCases(File work) throws Exception {
        ShellExecute shell = new ShellExecute();
        File record = new File(System.getenv("XDG_OPEN_RECORD"));
        shell.shellExecute("open", "/tmp/a file; echo $HOME", "--one \"two words\" 'three'", work.getPath(), 1);
        long until = System.currentTimeMillis() + 60000;
        while (!record.isFile() && System.currentTimeMillis() < until) {
            Thread.sleep(10);
        }
        expect("xdg-open gets the file and each parameter as its own argument",
                () -> Files.readString(record.toPath()),
                "/tmp/a file; echo $HOME\n--one\ntwo words\n'three'\n" + work.getCanonicalPath() + "\n");
        expectThrow("another operation", () -> { shell.shellExecute("print", "x", null, null, 1); return 0; },
                RuntimeException.class, "Failure in ShellExecute");
        expectThrow("a directory that does not exist",
                () -> { shell.shellExecute("open", "x", null, work.getPath() + "/no/such", 1); return 0; },
                RuntimeException.class, "Failure in ShellExecute");
        expectThrow("a null file", () -> { shell.shellExecute("open", null, null, null, 1); return 0; },
                NullPointerException.class, null);
    }
}
