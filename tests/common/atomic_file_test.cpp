#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>

#include "qks/common/atomic_file.h"
#include "qks/common/file_io.h"
#include "qks/testing/temp_dir.h"

namespace qks {
namespace {

using qks::testing::readAll;
using qks::testing::TempDir;

// Restores the real system calls however a test ends.
struct SeamGuard {
    ~SeamGuard() { fileSystemCalls() = realFileSystemCalls(); }
};

TEST(AtomicFile, ReplacesWholeAndKeepsBackup) {
    TempDir dir;
    const std::string target = dir.file("parts.txt");
    ASSERT_TRUE(writeFileAtomically(target, "one"));
    EXPECT_EQ(readAll(target), "one");
    ASSERT_TRUE(writeFileAtomically(target, "two", nullptr, /*keepBackup=*/true));
    EXPECT_EQ(readAll(target), "two");
    EXPECT_EQ(readAll(target + ".bak"), "one");
    EXPECT_FALSE(fileExists(target + ".tmp"));
}

TEST(AtomicFile, LargeContentIsWrittenCompletely) {
    TempDir dir;
    std::string big;
    for (int i = 0; big.size() < (3u << 20); ++i)
        big += std::to_string(i) + '\n';
    AtomicFileWriter writer(dir.file("big"));
    for (std::size_t pos = 0; pos < big.size(); pos += 4096)
        writer.write(std::string_view(big).substr(pos, 4096));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readAll(dir.file("big")), big);
}

TEST(AtomicFile, NeverFollowsALinkPlantedAtTheTemporaryName) {
    TempDir dir;
    const std::string victim = dir.write("victim", "precious");
    const std::string target = dir.file("progress.txt");
    ASSERT_EQ(::symlink(victim.c_str(), (target + ".tmp").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(target, "new"));
    EXPECT_EQ(readAll(victim), "precious");
    EXPECT_EQ(readAll(target), "new");
}

TEST(AtomicFile, StaleTemporaryIsReplaced) {
    TempDir dir;
    const std::string target = dir.file("t");
    dir.write("t.tmp", "half a file");
    ASSERT_TRUE(writeFileAtomically(target, "whole"));
    EXPECT_EQ(readAll(target), "whole");
}

TEST(AtomicFile, InjectedFailuresLeaveTheOldFileUntouched) {
    struct Case {
        const char* name;
        void (*inject)(FileSystemCalls&);
    } cases[] = {
        {"disk full",
         [](FileSystemCalls& fs) {
             fs.write = [](int, const void*, std::size_t) -> long {
                 errno = ENOSPC;
                 return -1;
             };
         }},
        {"rename refused",
         [](FileSystemCalls& fs) {
             fs.rename = [](const char*, const char*) {
                 errno = EACCES;
                 return -1;
             };
         }},
        {"fsync fails",
         [](FileSystemCalls& fs) {
             fs.fsync = [](int) {
                 errno = EIO;
                 return -1;
             };
         }},
        {"create refused",
         [](FileSystemCalls& fs) {
             fs.open = [](const char*, int, unsigned) {
                 errno = EACCES;
                 return -1;
             };
         }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string target = dir.write("drawing.dxf", "good drawing");
        SeamGuard guard;
        c.inject(fileSystemCalls());
        std::string error;
        EXPECT_FALSE(writeFileAtomically(target, "new content", &error, true, true)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        fileSystemCalls() = realFileSystemCalls();
        EXPECT_EQ(readAll(target), "good drawing") << c.name;
        EXPECT_FALSE(fileExists(target + ".tmp")) << c.name;
    }
}

TEST(AtomicFile, MissingFolderFailsClearly) {
    std::string error;
    EXPECT_FALSE(writeFileAtomically("/nonexistent-qks/x.txt", "x", &error));
    EXPECT_NE(error.find("/nonexistent-qks/x.txt.tmp"), std::string::npos);
}

}  // namespace
}  // namespace qks
