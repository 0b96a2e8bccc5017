// Storage for drawing objects and the database's large tables.
//
// A drawing of a few hundred thousand entities makes as many small allocations, and on a
// virtual machine the cost of reading it is dominated by the page faults of first touching that
// memory, one 4 KB page at a time. Objects therefore come from 2 MB chunks, one size class per
// chunk, and every chunk after a class's first asks the kernel for transparent huge pages: a big
// read faults once per 2 MB, while a small drawing still touches only the 4 KB pages it uses.
//
// Threads: one mutex guards the pool; objects may be created on one thread and freed on another.
// A chunk whose objects are all freed goes back to the system, except each class's last chunk,
// which only gives back its pages.
#include "object_pool.h"

#include "qkshost/drawing/database.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QKS_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QKS_POOL_ASAN 1
#endif
#endif

#ifdef QKS_POOL_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#define QKS_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QKS_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QKS_POISON(p, n) ((void)(p), (void)(n))
#define QKS_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace qkshost::drawing {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kChunkSize = kHugePage;
constexpr std::size_t kGranule = 16;
constexpr std::size_t kLargestPooled = 1024;
constexpr std::size_t kClasses = kLargestPooled / kGranule;
constexpr std::size_t kHeaderSize = 64;
// An emptied chunk that was used beyond this gives its pages back (see resetChunk).
constexpr std::size_t kResetAbove = 256 * 1024;

struct Chunk {
    Chunk* prev = nullptr;  // in its class's list of chunks with room
    Chunk* next = nullptr;
    void* freeList = nullptr;  // freed slots, linked through their first word
    char* bump = nullptr;      // never-used slots start here
    char* end = nullptr;
    std::uint32_t live = 0;
    std::uint32_t slotSize = 0;
    std::uint32_t sizeClass = 0;
    bool hasRoom = true;
};
static_assert(sizeof(Chunk) <= kHeaderSize);

struct SizeClass {
    Chunk* withRoom = nullptr;
    std::size_t chunks = 0;
};

// Maps `bytes` rounded up to huge pages and aligned to 2 MB; null when the system refuses.
void* mapAligned(std::size_t bytes) {
    const std::size_t span = bytes + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::uintptr_t tail = aligned + bytes;
    if (start + span > tail) ::munmap(reinterpret_cast<void*>(tail), start + span - tail);
    return reinterpret_cast<void*>(aligned);
}

class Pool {
  public:
    void* allocate(std::size_t size) {
        const std::size_t index = (size + kGranule - 1) / kGranule - 1;
        std::lock_guard<std::mutex> lock(mutex_);
        SizeClass& cls = classes_[index];
        Chunk* c = cls.withRoom;
        if (!c) {
            c = newChunk(index, cls.chunks > 0);
            if (!c) throw std::bad_alloc();
            ++cls.chunks;
            link(cls, c);
        }
        void* slot;
        if (c->freeList) {
            slot = c->freeList;
            QKS_UNPOISON(slot, sizeof(void*));
            std::memcpy(&c->freeList, slot, sizeof(void*));
        } else {
            slot = c->bump;
            c->bump += c->slotSize;
        }
        QKS_UNPOISON(slot, c->slotSize);
        ++c->live;
        if (!c->freeList && c->bump + c->slotSize > c->end) unlink(cls, c);
        return slot;
    }

    void release(void* p) noexcept {
        auto* c = reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(p) & ~(kChunkSize - 1));
        std::lock_guard<std::mutex> lock(mutex_);
        SizeClass& cls = classes_[c->sizeClass];
        std::memcpy(p, &c->freeList, sizeof(void*));
        c->freeList = p;
        QKS_POISON(p, c->slotSize);
        --c->live;
        if (!c->hasRoom) link(cls, c);
        if (c->live == 0) {
            if (cls.chunks > 1) {
                unlink(cls, c);
                --cls.chunks;
                unmapChunk(c);
            } else if (std::size_t(c->bump - reinterpret_cast<char*>(c)) > kResetAbove) {
                resetChunk(c);
            }
        }
    }

    ObjectPoolStats stats() {
        std::lock_guard<std::mutex> lock(mutex_);
        ObjectPoolStats s;
        for (const SizeClass& cls : classes_)
            s.chunks += cls.chunks;
        s.bytesMapped = s.chunks * kChunkSize;
        return s;
    }

  private:
    static Chunk* newChunk(std::size_t index, bool huge) {
        void* mem = mapAligned(kChunkSize);
        if (!mem) return nullptr;
        // The first chunk of a class stays on small pages so that a small drawing costs little.
        if (huge) ::madvise(mem, kChunkSize, MADV_HUGEPAGE);
#ifdef QKS_POOL_ASAN
        // Objects hold pointers to heap blocks (strings, vectors); the leak checker must see them.
        __lsan_register_root_region(mem, kChunkSize);
#endif
        auto* c = new (mem) Chunk;
        c->slotSize = std::uint32_t((index + 1) * kGranule);
        c->sizeClass = std::uint32_t(index);
        c->bump = static_cast<char*>(mem) + kHeaderSize;
        c->end = static_cast<char*>(mem) + kChunkSize;
        QKS_POISON(c->bump, std::size_t(c->end - c->bump));
        return c;
    }
    // A class's last chunk stays mapped, but once a large drawing has gone its pages go back to
    // the system and it starts again from its first slot.
    static void resetChunk(Chunk* c) {
        static const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
        char* base = reinterpret_cast<char*>(c);
        if (page >= kHeaderSize && page < kChunkSize)
            ::madvise(base + page, kChunkSize - page, MADV_DONTNEED);
        c->freeList = nullptr;
        c->bump = base + kHeaderSize;
        QKS_POISON(c->bump, std::size_t(c->end - c->bump));
    }
    static void unmapChunk(Chunk* c) {
        QKS_UNPOISON(c, kChunkSize);
#ifdef QKS_POOL_ASAN
        __lsan_unregister_root_region(c, kChunkSize);
#endif
        ::munmap(c, kChunkSize);
    }
    static void link(SizeClass& cls, Chunk* c) {
        c->prev = nullptr;
        c->next = cls.withRoom;
        if (cls.withRoom) cls.withRoom->prev = c;
        cls.withRoom = c;
        c->hasRoom = true;
    }
    static void unlink(SizeClass& cls, Chunk* c) {
        if (c->prev) c->prev->next = c->next;
        if (c->next) c->next->prev = c->prev;
        if (cls.withRoom == c) cls.withRoom = c->next;
        c->prev = c->next = nullptr;
        c->hasRoom = false;
    }

    std::mutex mutex_;
    SizeClass classes_[kClasses];
};

// Never destroyed: objects owned by static databases may be freed after main returns.
Pool& pool() {
    static Pool* p = new Pool;
    return *p;
}

}  // namespace

void* Object::operator new(std::size_t size) {
    if (size == 0 || size > kLargestPooled) return ::operator new(size);
    return pool().allocate(size);
}

void Object::operator delete(void* p, std::size_t size) noexcept {
    if (!p) return;
    if (size == 0 || size > kLargestPooled) {
        ::operator delete(p);
        return;
    }
    pool().release(p);
}

ObjectPoolStats objectPoolStats() {
    return pool().stats();
}

void* allocateTable(std::size_t bytes) {
#ifdef QKS_POOL_ASAN
    return ::operator new(bytes);  // keep the sanitizer's bounds checks on the tables
#endif
    if (bytes < kHugePage) return ::operator new(bytes);
    const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* mem = mapAligned(rounded);
    if (!mem) throw std::bad_alloc();
    ::madvise(mem, rounded, MADV_HUGEPAGE);
    return mem;
}

void releaseTable(void* p, std::size_t bytes) noexcept {
    if (!p) return;
#ifdef QKS_POOL_ASAN
    bytes = 0;
#endif
    if (bytes < kHugePage) {
        ::operator delete(p);
        return;
    }
    ::munmap(p, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

}  // namespace qkshost::drawing
