/**
 * The case tables of the natives checks: each case is a call and the result
 * or the exception (class and message) it must give. A failed case prints
 * one line; finish() reports the count and exits 1 when any failed.
 */
abstract class Cases {
    interface Call {
        Object run() throws Exception;
    }

    private static int failures = 0;

    static void expect(String what, Call call, Object result) {
        try {
            Object got = call.run();
            if (result == null ? got != null : !result.equals(got)) {
                fail(what, "gave " + got + ", expected " + result);
            }
        } catch (Exception e) {
            fail(what, "threw " + e);
        }
    }

    static void expectThrow(String what, Call call, Class<?> type, String message) {
        try {
            Object got = call.run();
            fail(what, "gave " + got + ", expected " + type.getName());
        } catch (Exception e) {
            if (e.getClass() != type || (message == null ? e.getMessage() != null : !message.equals(e.getMessage()))) {
                fail(what, "threw " + e + ", expected " + type.getName() + ": " + message);
            }
        }
    }

    static void fail(String what, String how) {
        failures++;
        System.out.println("FAILED " + what + ": " + how);
    }

    static void finish() {
        if (failures > 0) {
            System.out.println(failures + " cases failed");
            System.exit(1);
        }
        System.out.println("all cases passed");
    }
}
