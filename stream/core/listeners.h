// Listener lists of the stream engine: the stream's two lists, the stream
// collection's listeners and the segmented buffer's write listeners share
// this one node record, its add-reference and release, and the walk that
// calls them.
//
// A node is held once by its list while it is linked and once more by a walk
// while the walk stands on it. Release follows the rule of every release in
// the engine: the holder's pointer is cleared when its reference was the last
// one and the node is freed; otherwise it is left as it was.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "tqstream.h"

namespace tq::stream::listeners
{

// Each node carries the place it took when it was appended. Lists only ever
// grow at their end, so these increase along every list; a walk whose node
// was unlinked under it finds its way on by them.
inline std::atomic<uint64_t> g_nextPlace{1};

template <class Node> struct Block {
    Node pub; // first: the node's address is the block's
    uint64_t place;
};

template <class Node> uint64_t placeOf(const Node *node)
{
    return reinterpret_cast<const Block<Node> *>(node)->place;
}

template <class Node> int32_t addRef(Node *node)
{
    if (node)
        ++node->refCount;
    return 0;
}

template <class Node> int32_t release(Node **holder)
{
    if (!holder || !*holder)
        return 0;
    Node *node = *holder;
    if (--node->refCount > 0)
        return 0;
    std::free(reinterpret_cast<Block<Node> *>(node));
    *holder = nullptr;
    return 0;
}

// The node records keep their operations under the names their headers give.
inline void installOperations(TQStreamListener *node)
{
    node->addRef = addRef<TQStreamListener>;
    node->release = release<TQStreamListener>;
}

inline void installOperations(TQCollectionListener *node)
{
    node->addRef = addRef<TQCollectionListener>;
    node->release = release<TQCollectionListener>;
}

inline void installOperations(TQBufferListener *node)
{
    node->listenerAddRef = addRef<TQBufferListener>;
    node->listenerRelease = release<TQBufferListener>;
}

template <class Node> Node *next(const Node *node)
{
    return static_cast<Node *>(node->link.next);
}

// A new node for (function, context) at the end of the list; the list holds
// its only reference. Null without memory.
template <class Node, class Function> Node *append(TQListHead *list, void *owner, Function function, void *context)
{
    auto *block = static_cast<Block<Node> *>(std::calloc(1, sizeof(Block<Node>)));
    if (!block)
        return nullptr;
    Node *node = &block->pub;
    node->refCount = 1;
    installOperations(node);
    node->function = function;
    node->context = context;
    block->place = g_nextPlace.fetch_add(1, std::memory_order_relaxed);
    tqListAppend(list, owner, node, offsetof(Node, link));
    return node;
}

// The first linked node with both values, or null.
template <class Node, class Function> Node *find(const TQListHead *list, Function function, void *context)
{
    for (auto *node = static_cast<Node *>(list->first); node; node = next(node))
        if (node->function == function && node->context == context)
            return node;
    return nullptr;
}

// Unlinks a linked node and drops the list's reference.
template <class Node> void unlink(TQListHead *list, Node *node)
{
    tqListRemove(list, node, offsetof(Node, link));
    release(&node);
}

template <class Node> void unlinkAll(TQListHead *list)
{
    while (list->first)
        unlink(list, static_cast<Node *>(list->first));
}

// Calls call(node) for every node still linked when its turn comes, once,
// in list order. A listener may remove itself or any other node, and may add
// nodes (which are called in their turn): the walk holds the node it stands
// on, takes the following one only after the call, and when its own node was
// unlinked meanwhile, goes on with the first linked node placed after it.
template <class Node, class Call> void walk(TQListHead *list, Call &&call)
{
    auto *node = static_cast<Node *>(list->first);
    addRef(node);
    while (node) {
        if (tqListIsLinked(&node->link))
            call(node);
        Node *following;
        if (tqListIsLinked(&node->link)) {
            following = next(node);
        } else {
            following = static_cast<Node *>(list->first);
            while (following && placeOf(following) <= placeOf(node))
                following = next(following);
        }
        addRef(following);
        release(&node);
        node = following;
    }
}

} // namespace tq::stream::listeners
