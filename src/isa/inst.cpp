#include "isa/inst.h"

#include "support/diag.h"

namespace tolvar {

namespace {

// Storage of released nodes, kept for the next ones: a compile makes and
// releases nodes by the hundred thousand, a statement's worth at a time.
// Bounded, so a whole tree released at the end doesn't stay behind.
struct NodeCache {
    void* free;  // each holds the next in its first bytes
    int count;
};

constexpr int NODE_CACHE_LIMIT = 4096;

// Plain, so it outlives every object that may still release a node.
NodeCache node_cache;

// Empties the cache at exit; nodes released later go to the heap.
struct NodeCacheCloser {
    NodeCacheCloser() = default;
    NodeCacheCloser(const NodeCacheCloser&) = delete;
    NodeCacheCloser& operator=(const NodeCacheCloser&) = delete;
    ~NodeCacheCloser()
    {
        while (node_cache.free != nullptr) {
            void* next = *static_cast<void**>(node_cache.free);
            ::operator delete(node_cache.free);
            node_cache.free = next;
        }
        node_cache.count = NODE_CACHE_LIMIT;
    }
};

NodeCacheCloser node_cache_closer;

Inst* make_node()
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    void* storage = node_cache.free;
    if (storage != nullptr) {
        node_cache.free = *static_cast<void**>(storage);
        --node_cache.count;
    } else {
        storage = ::operator new(sizeof(Inst), std::nothrow);
    }
    // Every member has its initializer: no need to clear the bytes first.
    return storage != nullptr ? new (storage) Inst : nullptr;
}

void release_node(Inst* node)
{
    node->~Inst();
    if (node_cache.count == NODE_CACHE_LIMIT) {
        ::operator delete(node);
        return;
    }
    void* storage = node;
    *static_cast<void**>(storage) = node_cache.free;
    node_cache.free = storage;
    ++node_cache.count;
}

}  // namespace

Inst* inst_new(int32_t line, int32_t offset, InstPtr* head, Inst* tail)
{
    Inst* node = make_node();
    if (node == nullptr) {
        memory_error(752, sizeof(Inst));
        return nullptr;
    }
    node->line = line;
    node->offset = offset;
    if (head != nullptr) {
        if (tail != nullptr) {
            tail->next = node;
        } else {
            head->reset(node);
        }
    }
    return node;
}

namespace {

// Puts the list `list` in front of `todo` and returns the new front.
Inst* push_list(Inst* list, Inst* todo)
{
    Inst* last = list;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = todo;
    return list;
}

}  // namespace

// Iterative on purpose: bodies may nest deeply and lists run long, and a
// recursive release would spend a stack frame per level or per node.
void inst_list_free(Inst* list)
{
    Inst* todo = list;
    while (todo != nullptr) {
        Inst* node = todo;
        todo = node->next;
        for (Param& param : node->params) {
            if (param.node) {
                todo = push_list(param.node.release(), todo);
            }
        }
        if (node->sub) {
            todo = push_list(node->sub.release(), todo);
        }
        release_node(node);
    }
}

}  // namespace tolvar
