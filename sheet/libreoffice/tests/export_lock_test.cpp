// One export at a time per user: a lock in a directory of ours only.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "export_lock.h"
#include "temp_dir.h"

namespace veltrano::sheet {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(ExportLock, LivesOnlyInADirectoryOfOurs) {
    TempDir dir;
    const std::string runtime = dir.path() + "/runtime", open_runtime = dir.path() + "/open";
    const std::string fallback = dir.path() + "/veltrano";
    fs::create_directory(runtime);
    fs::create_directory(open_runtime);
    chmod(open_runtime.c_str(), 0777);
    struct Case { const char* what; const char* runtime_dir; const char* existing; std::string expected; };
    const Case cases[] = {
        {"XDG_RUNTIME_DIR", runtime.c_str(), "", runtime},
        {"unset: a new private directory", nullptr, "", fallback},
        {"writable by all: ours instead", open_runtime.c_str(), "", fallback},
        {"ours, but open to others", nullptr, "0755", ""},
        {"a link to ours", nullptr, "link", ""},
    };
    for (const auto& c : cases) {
        fs::remove_all(fallback);
        if (std::string(c.existing) == "0755") mkdir(fallback.c_str(), 0755);
        if (std::string(c.existing) == "link") fs::create_directory_symlink(runtime, fallback);
        if (c.expected.empty()) {
            EXPECT_THROW(export_lock_directory(c.runtime_dir, fallback), std::system_error) << c.what;
            continue;
        }
        EXPECT_EQ(export_lock_directory(c.runtime_dir, fallback), c.expected) << c.what;
        struct stat st {};
        if (c.expected == fallback && lstat(fallback.c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 0777, 0700u) << c.what;
        }
    }
    // Nor a lock file that leads elsewhere.
    fs::create_symlink(dir.file("elsewhere", "", false), runtime + "/veltrano-export.lock");
    EXPECT_THROW(ExportLock::acquire(runtime, Clock::now()), std::system_error);
}

TEST(ExportLock, TheSecondExportWaitsForTheFirstWithinItsDeadline) {
    TempDir dir;
    std::optional<ExportLock> first = ExportLock::acquire(dir.path(), Clock::now());
    ASSERT_TRUE(first);
    // Still held at the second one's deadline: it gives up.
    EXPECT_FALSE(ExportLock::acquire(dir.path(), Clock::now() + 100ms));

    std::atomic<bool> released{false};
    std::thread finish([&] {
        std::this_thread::sleep_for(300ms);
        released = true;
        first.reset();
    });
    EXPECT_TRUE(ExportLock::acquire(dir.path(), Clock::now() + 60s));
    EXPECT_TRUE(released) << "the second export started while the first held the lock";
    finish.join();
}

}  // namespace
}  // namespace veltrano::sheet
