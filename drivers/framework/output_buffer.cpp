// The output buffer: one open reservation, one committed block published
// atomically, and the player's hold on it (a single hazard pointer).
#include "tq/driver/output_buffer.h"

#include <cstdlib>
#include <new>

namespace tq::driver
{

struct OutputBuffer::Node {
    OutputBlock block;
    size_t capacity = 0; // bytes of data behind the node
    TQPiece pieces[2] = {};
    unsigned char *bytes() { return reinterpret_cast<unsigned char *>(this + 1); }
};

namespace
{

void freeNode(void *node)
{
    free(node);
}

} // namespace

OutputBuffer::~OutputBuffer()
{
    clear();
    freeNode(spare_);
}

OutputBuffer::Node *OutputBuffer::take(size_t bytes)
{
    if (spare_ && spare_->capacity >= bytes) {
        Node *n = spare_;
        spare_ = nullptr;
        return n;
    }
    void *raw = malloc(sizeof(Node) + bytes);
    if (!raw)
        return nullptr;
    Node *n = new (raw) Node();
    n->capacity = bytes;
    return n;
}

void OutputBuffer::recycle(Node *node)
{
    if (!node)
        return;
    // The larger of the two stays for the next reservation, which most often
    // has the same size.
    if (!spare_ || spare_->capacity < node->capacity) {
        freeNode(spare_);
        spare_ = node;
    } else
        freeNode(node);
}

void OutputBuffer::reclaim()
{
    // A replaced block goes once the player does not hold it. The player
    // announces its hold before it re-reads the current block, and the swap
    // happens before this read, so a block not held here is not reached by
    // the player any more.
    Node *held = held_.load(std::memory_order_seq_cst);
    for (Node *&r : retired_)
        if (r && r != held) {
            recycle(r);
            r = nullptr;
        }
}

int64_t OutputBuffer::reserveWrite(int64_t scans, uint32_t scanSize, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    if (scans <= 0 || scanSize == 0 || scans > static_cast<int64_t>(UINT32_MAX / scanSize))
        return 0;
    const size_t bytes = static_cast<size_t>(scans) * scanSize;
    platform::MutexGuard guard(lock_);
    if (pending_)
        return 0;
    Node *n = take(bytes);
    if (!n)
        return 0;
    n->block = OutputBlock{n->bytes(), scans, scanSize};
    n->pieces[0] = TQPiece{static_cast<uint32_t>(bytes), n->bytes()};
    n->pieces[1] = TQPiece{0, nullptr};
    pending_ = n;
    if (granted)
        *granted = scans;
    if (pieces)
        *pieces = n->pieces;
    return scans;
}

int64_t OutputBuffer::completeWrite(int64_t scans)
{
    platform::MutexGuard guard(lock_);
    Node *n = pending_;
    if (!n)
        return 0;
    pending_ = nullptr;
    if (scans <= 0) {
        recycle(n);
        return 0;
    }
    if (scans < n->block.scans)
        n->block.scans = scans;
    Node *old = current_.exchange(n, std::memory_order_seq_cst);
    if (old) {
        // Two places suffice: after every reclaim at most one retired block
        // (the one the player holds) is left.
        for (Node *&r : retired_)
            if (!r) {
                r = old;
                break;
            }
    }
    reclaim();
    return n->block.scans;
}

bool OutputBuffer::reservationOpen() const
{
    platform::MutexGuard guard(lock_);
    return pending_ != nullptr;
}

const OutputBlock *OutputBuffer::acquire()
{
    Node *n = current_.load(std::memory_order_acquire);
    for (;;) {
        held_.store(n, std::memory_order_seq_cst);
        Node *again = current_.load(std::memory_order_seq_cst);
        if (again == n)
            break;
        n = again;
    }
    return n ? &n->block : nullptr;
}

void OutputBuffer::release()
{
    held_.store(nullptr, std::memory_order_release);
}

void OutputBuffer::clear()
{
    platform::MutexGuard guard(lock_);
    freeNode(pending_);
    pending_ = nullptr;
    freeNode(current_.exchange(nullptr, std::memory_order_acq_rel));
    for (Node *&r : retired_) {
        freeNode(r);
        r = nullptr;
    }
    held_.store(nullptr, std::memory_order_relaxed);
}

} // namespace tq::driver
