// The model 176 driver: its transport (the USB device behind each session),
// the model hooks, and the session entry points.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "protocol176.h"
#include "session176.h"
#include "tables176.h"
#include "tq/driver/driver.h"
#include "tq/driver/stream.h"
#include "tq/driver/transport.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/numfmt.h"
#include "ux176.h"

namespace ux176
{

namespace
{

using tq::driver::Session;

constexpr uint32_t kOpenTimeoutMs = 5000, kConnectTimeoutMs = 2000;
constexpr uint32_t kSerialSize = TQ_USBX_STRING_SIZE;

Session176 &model(Session &s)
{
    return static_cast<Session176 &>(s);
}

// 0, 0xBFFF0012 for a name of neither form (or a serial too long for the
// library's strings), 0xBFFF0011 for another vendor or model.
ViStatus parseName(const char *name, ResourceName &p)
{
    if (!splitResourceName(name, p))
        return VI_ERROR_INV_RSRC_NAME;
    if (static_cast<unsigned short>(p.vendor) != UX176_VENDOR || p.model != UX176_MODEL)
        return VI_ERROR_RSRC_NFOUND;
    return VI_SUCCESS;
}

// The stream library's texts of the VISA statuses, loaded once per process.
using ErrorMessageFn = ViStatus (*)(ViSession, ViStatus, ViChar *);
ErrorMessageFn streamTexts()
{
    static ErrorMessageFn fn = [] {
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary("tqstream_32.dll");
        return lib ? reinterpret_cast<ErrorMessageFn>(tq::platform::findSymbol(lib, "tqstream_error_message"))
                   : static_cast<ErrorMessageFn>(nullptr);
    }();
    return fn;
}

class UsbTransport : public tq::driver::Transport
{
  public:
    ViStatus open(ViConstRsrc rsrcName, void **device, char *instrumentName) override
    {
        ResourceName p;
        ViStatus status = parseName(rsrcName, p);
        if (status < VI_SUCCESS)
            return status;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        SI_SetTimeouts(kOpenTimeoutMs, kOpenTimeoutMs);
        uint32_t count = 0;
        TQUsbStatus st = SI_GetNumDevices(&count);
        if (st != TQ_USBX_OK)
            return mapStatus(st);
        for (uint32_t i = 0; i < count; ++i) {
            char serial[kSerialSize] = {};
            st = SI_GetProductString(i, serial, TQ_USBX_SERIAL_NUMBER);
            if (st != TQ_USBX_OK)
                return mapStatus(st);
            serial[kSerialSize - 1] = '\0';
            if (strcmp(serial, p.serial) != 0)
                continue;
            TQUsbHandle h = nullptr;
            st = SI_Open(i, &h);
            if (st != TQ_USBX_OK)
                return mapStatus(st);
            *device = h;
            tq::driver::copyName(instrumentName, tq::driver::kNameLength, p.lower);
            return VI_SUCCESS;
        }
        return VI_ERROR_RSRC_NFOUND;
    }

    void attached(Session &s, ViBoolean idQuery) override
    {
        Session176 &m = model(s);
        ResourceName p;
        if (parseName(s.resourceName, p) >= VI_SUCCESS)
            m.serial = static_cast<uint16_t>(strtoul(p.serial, nullptr, 10));
        {
            DeviceLock lock;
            if (lock.held()) {
                SI_FlushBuffers(s.device, 0, 0);
                // Whatever the device still had to say belongs to no request of ours.
                uint32_t queued = 0, queueStatus = 0;
                for (int i = 0; i < 64; ++i) {
                    if (SI_CheckRXQueue(s.device, &queued, &queueStatus) != TQ_USBX_OK || queued == 0)
                        break;
                    uint8_t junk[256];
                    uint32_t got = 0;
                    if (SI_Read(s.device, junk, queued < sizeof junk ? queued : 256u, &got, nullptr) != TQ_USBX_OK ||
                        got == 0)
                        break;
                }
            }
        }
        if (idQuery) {
            ViInt16 modelByte = 0;
            ux176_id_query(s.value, &modelByte);
        }
    }

    ViStatus close(void *device) override
    {
        DeviceLock lock;
        SI_Close(device);
        return lock.status();
    }

    ViStatus describe(ViStatus status, char *message) override
    {
        if (ErrorMessageFn fn = streamTexts())
            return fn(VI_NULL, status, message);
        tq::driver::copyName(message, tq::driver::kNameLength, "Unknown Status");
        return VI_WARN_UNKNOWN_STATUS;
    }
};

ViStatus resetDevice(Session176 &s)
{
    tq::driver::RunGuard guard(s);
    stopAcquisition(s);
    if (s.simulated()) {
        setDefaults(s);
        return VI_SUCCESS;
    }
    ViStatus status;
    {
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        const TQUsbStatus st = SI_FlushBuffers(s.device, 1, 1);
        status = mapStatus(st);
        if (status >= VI_SUCCESS)
            status = writeRegister(s.device, UX176_REG_RESET, 1);
        setDefaults(s);
        applySettings(s);
    }
    return status;
}

class Model176 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession) override { return new (std::nothrow) Session176(); }

    void streamBound(Session &s) override
    {
        Session176 &m = model(s);
        initChannelRecords(m);
        m.bufferMade = tq::driver::createScanBuffer(m, m.buffer, kSegmentScans, kBufferScans, kMaximumScans);
        if (!m.bufferMade)
            return;
        m.stream->streamSetRate(m.stream, kInitialRate);
        installStreamOperations(m);
        updateInputLayout(m);
        updateOutputLayout(m);
    }
    // Without its buffer the session could never store a scan: the open fails.
    bool streamReady(Session &s) override { return model(s).bufferMade; }

    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return ux176::applySettings(model(s)); }
    ViStatus reset(Session &s) override { return resetDevice(model(s)); }

    // The thread ends before the framework destroys the stream.
    void freeDataPath(Session &s) override
    {
        Session176 &m = model(s);
        stopAcquisition(m);
        freeOutput(m);
        tq::driver::releaseScanBuffer(m.buffer);
    }

    TQStreamChannel *channelAt(Session &s, size_t position) override
    {
        Session176 &m = model(s);
        if (position < kAnalogInputs)
            return &m.analog[position].head;
        position -= kAnalogInputs;
        if (position < kDigitalLines)
            return &m.digital[position].head;
        position -= kDigitalLines;
        return position < kDacs ? &m.dacs[position].head : nullptr;
    }
    int64_t scansWritten(Session &s) override { return tq::driver::scanBufferScansWritten(s, model(s).buffer); }
    TQReader *newReader(Session &s, int64_t position, int32_t whence) override;
    void describeCapture(Session &s, tq::driver::CaptureHeader &header) override
    {
        ux176::describeCapture(model(s), header);
    }

    // No event status is kept.
    ViStatus getEventStatus(Session &, ViUInt16, ViUInt16 *status, ViUInt16, ViChar *) override
    {
        if (status)
            *status = 0;
        return VI_SUCCESS;
    }
    ViStatus crossCheck(Session &s, ViChar *message) override { return ux176::crossCheck(model(s), message); }
};

Model176 &theModel()
{
    static Model176 m;
    return m;
}

UsbTransport &theTransport()
{
    static UsbTransport t;
    return t;
}

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "ux176";
    info.modelCode = UX176_MODEL_CODE;
    info.handleKind = tq::driver::kHandleKind176;
    info.simulationFailureLine = false;
    info.captureHeaderFirst = false;
    info.pnpInitReset = true;
    info.transport = &theTransport();
    tables(info);
    return info;
}

} // namespace

tq::driver::Driver &driver()
{
    static tq::driver::Driver d(makeInfo(), theModel());
    return d;
}

Session176 *find(ViSession vi)
{
    return static_cast<Session176 *>(driver().find(vi));
}

} // namespace ux176

namespace ux176
{

namespace
{

// The buffered reader's own avail, kept when a reader is made.
std::atomic<int64_t (*)(TQReader *)> bufferedAvail{nullptr};

// A reader polling for scans takes its turn with the device's exchanges:
// avail asks the buffer while holding the device mutex, and answers 0 when
// it cannot have it.
int64_t availUnderDeviceLock(TQReader *reader)
{
    DeviceLock lock;
    auto avail = bufferedAvail.load(std::memory_order_acquire);
    if (!lock.held() || !avail)
        return 0;
    return avail(reader);
}

} // namespace

TQReader *Model176::newReader(Session &s, int64_t position, int32_t whence)
{
    TQReader *reader = tq::driver::newBufferedReader(s, model(s).buffer, position, whence);
    if (reader && reader->readerAvail != availUnderDeviceLock) {
        bufferedAvail.store(reader->readerAvail, std::memory_order_release);
        reader->readerAvail = availUnderDeviceLock;
    }
    return reader;
}

} // namespace ux176

using ux176::driver;
using ux176::find;

TQ_DRIVER_EXPORT_INIT(ux176, driver())
TQ_DRIVER_EXPORT_CLOSE(ux176, driver())
TQ_DRIVER_EXPORT_RESET(ux176, driver())
TQ_DRIVER_EXPORT_ERROR_MESSAGE(ux176, driver())
TQ_DRIVER_EXPORT_SIMULATION(ux176, driver())
TQ_DRIVER_EXPORT_INSTRUMENT_NAME(ux176, driver())
TQ_DRIVER_EXPORT_MESSAGE_SINKS(ux176, driver())
TQ_DRIVER_EXPORT_STREAM(ux176, driver())
TQ_DRIVER_EXPORT_EVENTS(ux176, driver())
TQ_DRIVER_EXPORT_WAIT(ux176, driver())
TQ_DRIVER_EXPORT_CROSS_CHECK(ux176, driver())
TQ_DRIVER_EXPORT_PNP(ux176, driver())

TQ_API ViStatus ux176_id_query(ViSession vi, ViInt16 *model)
{
    return ux176::withSession(vi, [&](ux176::Session176 &s) -> ViStatus {
        if (s.simulated())
            return VI_ERROR_NSUP_OPER;
        ux176::DeviceLock lock;
        if (!lock.held())
            return lock.status();
        const uint8_t request[4] = {0x04, 0, 0, 0};
        uint8_t reply[ux176::kIdentifyReply];
        const ViStatus status = ux176::fixedExchange(s.device, request, sizeof request, reply, sizeof reply);
        if (status >= VI_SUCCESS && model)
            *model = reply[1];
        return status;
    });
}

TQ_API ViStatus ux176_revision_query(ViSession vi, ViChar *driverRevision, ViChar *instrumentRevision)
{
    return ux176::withSession(vi, [&](ux176::Session176 &s) -> ViStatus {
        if (s.simulated())
            return VI_ERROR_NSUP_OPER;
        ux176::DeviceLock lock;
        if (!lock.held())
            return lock.status();
        if (driverRevision)
            tq::driver::copyName(driverRevision, tq::driver::kNameLength, driver().info().driverRevision);
        const uint8_t request[4] = {0x03, 0, 0, 0};
        uint8_t reply[ux176::kFirmwareReply];
        const ViStatus status = ux176::fixedExchange(s.device, request, sizeof request, reply, sizeof reply);
        if (instrumentRevision) {
            if (status >= VI_SUCCESS)
                tq::platform::cformat(instrumentRevision, tq::driver::kNameLength, "Firmware %hd",
                                      static_cast<short>(reply[1]));
            else
                tq::driver::copyName(instrumentRevision, tq::driver::kNameLength, "<not available>");
        }
        return status;
    });
}

TQ_API ViStatus ux176_getSerialNumber(ViSession vi, ViUInt16 *serial)
{
    return ux176::withSession(vi, [&](ux176::Session176 &s) -> ViStatus {
        if (!serial)
            return VI_ERROR_INV_PARAMETER;
        *serial = s.serial;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_writeRegister(ViSession vi, ViInt16 reg, ViUInt16 value)
{
    return ux176::withSession(vi, [&](ux176::Session176 &s) -> ViStatus {
        if (reg < 0 || reg > 255)
            return VI_ERROR_INV_PARAMETER;
        if (s.simulated())
            return VI_SUCCESS;
        ux176::DeviceLock lock;
        if (!lock.held())
            return lock.status();
        return ux176::writeRegister(s.device, static_cast<uint8_t>(reg), value);
    });
}

TQ_API ViStatus ux176_readRegister(ViSession vi, ViInt16 reg, ViUInt16 *value)
{
    return ux176::withSession(vi, [&](ux176::Session176 &s) -> ViStatus {
        if (!value || reg < 0 || reg > 255)
            return VI_ERROR_INV_PARAMETER;
        if (s.simulated()) {
            *value = 0;
            return VI_SUCCESS;
        }
        ux176::DeviceLock lock;
        if (!lock.held())
            return lock.status();
        uint16_t v = 0;
        const ViStatus status = ux176::readRegister(s.device, static_cast<uint8_t>(reg), v);
        if (status >= VI_SUCCESS)
            *value = v;
        return status;
    });
}

// Every attached device in list order, as "usb::0x3c5a::176::<serial>". A
// device that cannot be opened (busy, gone, another model) is passed over,
// so that one bad device does not hide the others.
TQ_API ViStatus ux176_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        if (max > 0 && !vi)
            return VI_ERROR_INV_PARAMETER;
        ux176::DeviceLock lock;
        if (!lock.held())
            return lock.status();
        SI_SetTimeouts(ux176::kConnectTimeoutMs, ux176::kConnectTimeoutMs);
        if (count)
            *count = 0;
        uint32_t devices = 0;
        TQUsbStatus st = SI_GetNumDevices(&devices);
        if (st != TQ_USBX_OK)
            return ux176::mapStatus(st);
        ViInt16 opened = 0;
        ViStatus failure = VI_SUCCESS;
        for (uint32_t i = 0; i < devices && opened < max; ++i) {
            char serial[TQ_USBX_STRING_SIZE] = {};
            st = SI_GetProductString(i, serial, TQ_USBX_SERIAL_NUMBER);
            if (st != TQ_USBX_OK) {
                failure = ux176::mapStatus(st);
                continue;
            }
            serial[sizeof serial - 1] = '\0';
            char name[tq::driver::kNameLength];
            tq::platform::cformat(name, sizeof name, "usb::0x3c5a::176::%s", serial);
            ViSession session = VI_NULL;
            const ViStatus status = ux176_init(name, 1, 0, &session);
            if (status >= VI_SUCCESS)
                vi[opened++] = session;
            else if (status != VI_ERROR_RSRC_NFOUND)
                failure = status;
        }
        if (count)
            *count = opened;
        // No device to connect to is no failure (the count says none); a
        // device that is there and cannot be opened is passed over while
        // another one connects.
        return opened > 0 ? VI_SUCCESS : failure;
    });
}

TQ_API ViStatus ux176_autoConnectToFirst(ViSession *vi)
{
    ViInt16 count = 0;
    return ux176_autoConnectToAll(vi, 1, &count);
}
