// A sink for a driver's status lines or traces: a message queue of the
// stream library that the test reads back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tqstream.h"

namespace tq::test
{

class LineSink
{
  public:
    LineSink() { StreamMsgCommonCreate(1 << 16, &queue_); }
    ~LineSink()
    {
        if (queue_)
            queue_->streamMsgRelease(&queue_);
    }
    LineSink(const LineSink &) = delete;
    LineSink &operator=(const LineSink &) = delete;

    TQStreamMsg *get() const { return queue_; }
    // Every line printed so far, oldest first; the queue is emptied.
    std::vector<std::string> take()
    {
        std::vector<std::string> lines;
        char buffer[1024];
        uint32_t length = 0;
        queue_->streamMsgLock(queue_, 1000);
        while (queue_->streamMsgRead(queue_, buffer, sizeof buffer, &length) != 2)
            lines.emplace_back(buffer);
        queue_->streamMsgUnlock(queue_);
        return lines;
    }

  private:
    TQStreamMsg *queue_ = nullptr;
};

} // namespace tq::test
