// The core of the event bridges: instrument and stream events raised on any
// thread (a driver's VISA callback or acquisition thread, or a Java thread
// that called into a virtual instrument) reach Java listeners here.
//
// A bridge handler does:
//
//     VmEntry vm;                      // enters the VM, or not at all
//     if (!vm.env()) return 0;         // VM gone, being destroyed, or no attach
//     auto pin = records.pin(handle);  // the listener record, if still live
//     if (pin) deliverEvent(vm.env(), ..., clearMask);
//     pin.reset(vm.env());
//
// A thread that GetEnv finds detached is attached as a daemon (so it never
// holds the VM's exit up) the first time, stays attached for its later
// events, and is detached when the thread ends. A thread that was attached
// already (a Java thread) is used as it is and never detached here. Once the
// VM announces its death no thread enters it any more, and the VM waits for
// deliveries under way to leave.
#pragma once

#include <cstdint>
#include <jni.h>

namespace tq::panelmate
{

class VmEntry {
public:
    VmEntry() noexcept;
    ~VmEntry();
    VmEntry(const VmEntry &) = delete;
    VmEntry &operator=(const VmEntry &) = delete;
    // Null when the VM cannot be entered now.
    JNIEnv *env() const { return env_; }

private:
    JNIEnv *env_ = nullptr;
    bool counted_ = false;
};

// Constructs InstrumentEvent(source, bits, message) and calls the listener's
// actionPerformed with it; an exception the listener (or the construction)
// leaves is described on the VM's error output and cleared, never passed
// on. The event's clearMask goes to *clearMask when both exist. Local
// references are dropped before it returns.
void deliverEvent(JNIEnv *env, jobject listener, jmethodID actionPerformed, jobject source, uint32_t bits,
                  const char *message, uint32_t *clearMask) noexcept;

// The env of the calling thread when it is attached already, else null.
JNIEnv *currentEnv() noexcept;

// Asks the VM to say when it starts to die (JNI_OnLoad, or the first native
// call): from then on VmEntry enters no more and thread ends detach nothing.
void watchVmDeath(JavaVM *vm) noexcept;

// True once the VM announced its death (for tests and the bridges).
bool vmDying() noexcept;

} // namespace tq::panelmate
