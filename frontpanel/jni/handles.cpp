#include "handles.h"

#include "bridge.h"

namespace tq::panelmate
{

JavaHandles<TQFormulaEngine> &formulaEngines()
{
    static JavaHandles<TQFormulaEngine> table(platform::kHandleKindPanelFormulaEngine);
    return table;
}

JavaHandles<TQStreamMsg> &messageSinks()
{
    static JavaHandles<TQStreamMsg> table(platform::kHandleKindPanelMessageSink);
    return table;
}

JavaHandles<ChannelEntry> &streamChannels()
{
    static JavaHandles<ChannelEntry> table(platform::kHandleKindPanelStreamChannel);
    return table;
}

uint32_t RecordTable::add(PinnedRecord *record)
{
    return table_.add(record);
}

RecordTable::Pin RecordTable::pin(uint32_t handle)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto *record = static_cast<PinnedRecord *>(table_.lookup(handle));
    if (!record)
        return {};
    ++record->pins_;
    return Pin(this, record);
}

bool RecordTable::retire(JNIEnv *env, uint32_t handle)
{
    PinnedRecord *gone = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto *record = static_cast<PinnedRecord *>(table_.remove(handle));
        if (!record)
            return false;
        record->retired_ = true;
        if (record->pins_ == 0)
            gone = record;
    }
    if (gone) {
        gone->release(env);
        delete gone;
    }
    return true;
}

void RecordTable::unpin(JNIEnv *env, PinnedRecord *record) noexcept
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (--record->pins_ != 0 || !record->retired_)
            return;
    }
    if (!env)
        env = currentEnv();
    if (!env)
        return; // no VM to release its references in: kept rather than half freed
    record->release(env);
    delete record;
}

void RecordTable::Pin::reset(JNIEnv *env) noexcept
{
    if (record_)
        table_->unpin(env, record_);
    record_ = nullptr;
}

} // namespace tq::panelmate
