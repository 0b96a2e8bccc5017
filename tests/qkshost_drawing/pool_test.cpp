// Object storage and the handle map under the loads a large drawing and the host's threads put
// on them: many objects of every size, frees on other threads, memory given back, handles with
// regular strides.
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

#include <sys/mman.h>
#include <unistd.h>
#include <thread>
#include <vector>

using namespace qkshost::drawing;

namespace {

std::unique_ptr<Entity> entityOfKind(int k, int n) {
    switch (k % 4) {
        case 0: {
            auto l = std::make_unique<Line>();
            l->end = {double(n), 1, 0};
            return l;
        }
        case 1: {
            auto t = std::make_unique<Text>();
            t->text = "零件 " + std::string(std::size_t(n % 40), 'x');  // heap strings too
            return t;
        }
        case 2: {
            auto p = std::make_unique<LwPolyline>();
            p->vertices.resize(std::size_t(1 + n % 9));
            return p;
        }
        default: {
            auto c = std::make_unique<Circle>();
            c->radius = n;
            return c;
        }
    }
}

TEST(ObjectPool, LargeDrawingsComeAndGoWithoutKeepingTheirMemory) {
    const std::size_t before = objectPoolStats().chunks;
    for (int round = 0; round < 3; ++round) {
        Database db;
        for (int n = 0; n < 120'000; ++n)
            ASSERT_NE(db.appendEntity(entityOfKind(n, n)), 0u);
        EXPECT_GT(objectPoolStats().chunks, before);
        // every object is intact after its neighbours were made
        auto* ms = db.get<BlockRecord>(db.modelSpace());
        ASSERT_EQ(ms->entities.size(), 120'000u);
        for (std::size_t n = 0; n < ms->entities.size(); n += 997) {
            Object* o = db.object(ms->entities[n]);
            if (auto* l = dynamic_cast<Line*>(o)) {
                EXPECT_EQ(l->end.x, double(n));
            } else if (auto* c = dynamic_cast<Circle*>(o)) {
                EXPECT_EQ(c->radius, double(n));
            } else if (auto* p = dynamic_cast<LwPolyline*>(o)) {
                EXPECT_EQ(p->vertices.size(), 1 + n % 9);
            }
        }
    }
    // at most one chunk per size class stays behind once the drawings are gone
    EXPECT_LE(objectPoolStats().chunks, before + 64);
}

TEST(ObjectPool, MemoryOfFreedObjectsGoesBackToTheSystem) {
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    std::set<std::uintptr_t> pages;
    {
        std::vector<std::unique_ptr<Line>> lines(300'000);
        for (auto& line : lines) {
            line = std::make_unique<Line>();
            line->end.x = 1;  // touch every object
            pages.insert(reinterpret_cast<std::uintptr_t>(line.get()) & ~(page - 1));
        }
    }
    // Every page that held a line is unmapped or released, but for a chunk's header page.
    std::size_t resident = 0;
    for (std::uintptr_t p : pages) {
        unsigned char state = 0;
        if (::mincore(reinterpret_cast<void*>(p), page, &state) == 0 && (state & 1)) ++resident;
    }
    ASSERT_GT(pages.size(), 5000u);
    EXPECT_LE(resident, 2u) << "of " << pages.size() << " pages";
}

TEST(ObjectPool, ObjectsMadeOnOneThreadAreFreedOnAnother) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 20'000;
    std::vector<std::vector<std::unique_ptr<Entity>>> made(kThreads);
    {
        std::vector<std::thread> makers;
        for (int t = 0; t < kThreads; ++t)
            makers.emplace_back([&made, t] {
                for (int n = 0; n < kPerThread; ++n)
                    made[std::size_t(t)].push_back(entityOfKind(n + t, n));
            });
        for (auto& m : makers)
            m.join();
    }
    std::vector<std::thread> freers;
    for (int t = 0; t < kThreads; ++t)
        freers.emplace_back([&made, t] {
            // free another thread's objects, interleaved with new ones of our own
            auto& theirs = made[std::size_t((t + 1) % kThreads)];
            std::vector<std::unique_ptr<Entity>> mine;
            for (std::size_t n = 0; n < theirs.size(); ++n) {
                theirs[n].reset();
                if (n % 3 == 0) mine.push_back(entityOfKind(int(n), int(n)));
            }
        });
    for (auto& f : freers)
        f.join();
}

#if defined(__SANITIZE_ADDRESS__)
// Pooled objects keep the address sanitizer's protection: a freed object cannot be read.
void readAfterFree() {
    auto* line = new Line;
    line->end = {1, 2, 3};
    volatile double* x = &line->end.x;
    delete line;
    std::printf("%f\n", *x);
}

TEST(ObjectPoolDeathTest, UseAfterFreeIsCaughtBySanitizer) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(readAfterFree(), "use-after-poison|use-after-free");
}
#endif

TEST(HandleMap, RegularAndRandomHandlesAreAllFound) {
    struct Case {
        const char* name;
        Handle first;
        Handle stride;
        bool random;
    };
    const Case cases[] = {
        {"consecutive", 0x100, 1, false},
        {"stride 0x1000", 0x1000, 0x1000, false},
        {"stride 2^20", Handle(1) << 20, Handle(1) << 20, false},
        {"stride 2^32", Handle(1) << 32, Handle(1) << 32, false},
        {"random 48-bit", 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Database db(false);
        std::mt19937_64 rng(7);
        std::vector<std::pair<Handle, ObjectIndex>> added;
        for (int n = 0; n < 20'000; ++n) {
            auto l = std::make_unique<Line>();
            l->handle = c.random ? (rng() & 0xffffffffffffull) | 1 : c.first + c.stride * Handle(n);
            if (db.indexFromHandle(l->handle)) continue;
            Handle h = l->handle;
            added.push_back({h, db.add(std::move(l))});
        }
        for (const auto& [h, index] : added)
            ASSERT_EQ(db.indexFromHandle(h), index) << std::hex << h;
        EXPECT_EQ(db.indexFromHandle(0x7), 0u);
        Handle highest = 0;
        for (const auto& a : added)
            highest = std::max(highest, a.first);
        EXPECT_GT(db.handSeed(), highest);
    }
}

}  // namespace
