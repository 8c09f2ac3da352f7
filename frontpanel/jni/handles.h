// Objects handed to Java in int fields and int results: 32-bit handles of a
// table with its own kind, never addresses. A stale value (the object was
// closed), a value of another table or one made up reads as null, which the
// natives answer as they answer a 0 field.
//
// Objects handed to Java:
//
//     static JavaHandles<TQFormulaEngine> &engines = formulaEngines();
//     jint h = static_cast<jint>(engines.add(engine));  // 0: the table is full
//     TQFormulaEngine *e = engines.lookup(h);           // null: stale or foreign
//     TQFormulaEngine *e = engines.remove(h);           // the close native
//
// Records that event deliveries use on other threads (listener records)
// live in a RecordTable: a delivery pins the record by its handle for the
// time of the delivery; retiring the handle refuses new pins at once and
// the record is destroyed by whoever lets go of it last.
#pragma once

#include <cstdint>
#include <jni.h>
#include <mutex>

#include "tq/platform/handles.h"

struct TQFormulaEngine;
struct TQStreamMsg;

namespace tq::panelmate
{

template <typename T> class JavaHandles {
public:
    explicit JavaHandles(unsigned kind) : table_(kind) {}
    uint32_t add(T *object) { return table_.add(object); }
    T *lookup(uint32_t handle) const { return static_cast<T *>(table_.lookup(handle)); }
    T *remove(uint32_t handle)
    {
        std::lock_guard<std::mutex> guard(use_);
        return static_cast<T *>(table_.remove(handle));
    }
    size_t size() const { return table_.size(); }

    // Runs use(object) with the live object of the handle, which a remove on
    // another thread (a close native) cannot take away meanwhile; false for
    // 0, stale or foreign handles (use is then not called).
    template <typename F> bool withObject(uint32_t handle, F &&use)
    {
        std::lock_guard<std::mutex> guard(use_);
        T *object = lookup(handle);
        if (!object)
            return false;
        use(object);
        return true;
    }

private:
    platform::HandleTable table_;
    std::mutex use_;
};

// Formula engines from TqDaq.openDataFiles (TqFormulaEngine.feHandle): each
// handle holds the engine's reference, dropped by TqFormulaEngine.closeHandle.
JavaHandles<TQFormulaEngine> &formulaEngines();
// Message sinks (TqStreamMsg.streamMsgHandle), each holding one reference.
JavaHandles<TQStreamMsg> &messageSinks();

// A stream channel as StreamChannel.pStreamChannel names it: the channel is
// looked up again by name in the held stream at each use, so a channel of a
// stream that went (or of a source a clone lost) reads as none rather than
// as freed memory.
struct ChannelEntry {
    uint32_t stream; // the stream's value
    char name[128];  // the channel's name, as the stream engine keeps it
};
JavaHandles<ChannelEntry> &streamChannels();

class PinnedRecord {
public:
    virtual ~PinnedRecord() = default;
    // Frees what the record holds in the VM (global references); called once,
    // on the thread that lets go of the record last, with that thread's env.
    virtual void release(JNIEnv *env) noexcept = 0;

private:
    friend class RecordTable;
    unsigned pins_ = 0;
    bool retired_ = false;
};

class RecordTable {
public:
    explicit RecordTable(unsigned kind) : table_(kind) {}
    RecordTable(const RecordTable &) = delete;
    RecordTable &operator=(const RecordTable &) = delete;

    // 0 when the table is full.
    uint32_t add(PinnedRecord *record);

    class Pin {
    public:
        Pin() = default;
        Pin(Pin &&other) noexcept : table_(other.table_), record_(other.record_) { other.record_ = nullptr; }
        Pin(const Pin &) = delete;
        Pin &operator=(const Pin &) = delete;
        Pin &operator=(Pin &&) = delete;
        ~Pin() { reset(nullptr); }
        PinnedRecord *get() const { return record_; }
        explicit operator bool() const { return record_ != nullptr; }
        // Lets go now; env frees the record when it was retired meanwhile
        // (null: only when no VM can be entered, and the record is then kept).
        void reset(JNIEnv *env) noexcept;

    private:
        friend class RecordTable;
        Pin(RecordTable *table, PinnedRecord *record) : table_(table), record_(record) {}
        RecordTable *table_ = nullptr;
        PinnedRecord *record_ = nullptr;
    };

    // The live record of the handle, pinned; empty for 0, stale or foreign.
    Pin pin(uint32_t handle);
    // Removes the handle; the record is released and deleted now when nothing
    // pins it, else by the last pin. False when the handle was not live.
    bool retire(JNIEnv *env, uint32_t handle);
    size_t size() const { return table_.size(); }

private:
    void unpin(JNIEnv *env, PinnedRecord *record) noexcept;

    mutable std::mutex lock_;
    platform::HandleTable table_;
};

} // namespace tq::panelmate
