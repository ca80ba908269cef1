// Saving the settings file when the save cannot complete: a write that fails
// or stops short, a temporary file that cannot be made. The old file stays
// whole; a folder that takes no new files gets the name in place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/device_link.h"
#include "link/posix/terminal_calls.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;

// Every write of the process goes through this while it lives.
class WriteFault {
public:
    // limit < 0: every write fails with EIO; else it writes at most limit bytes.
    explicit WriteFault(ssize_t limit) {
        Limit() = limit;
        ActiveTerminalCalls().write = Write;
    }
    ~WriteFault() { ActiveTerminalCalls() = SystemTerminalCalls(); }
    WriteFault(const WriteFault&) = delete;
    WriteFault& operator=(const WriteFault&) = delete;

private:
    static ssize_t& Limit() {
        static ssize_t limit = 0;
        return limit;
    }
    static ssize_t Write(int fd, const void* buffer, size_t count) {
        if (Limit() < 0) {
            errno = EIO;
            return -1;
        }
        return SystemTerminalCalls().write(fd, buffer, std::min(count, static_cast<size_t>(Limit())));
    }
};

class SettingsSave : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        cfg = dir.File("kavro.cfg");
        std::ofstream(cfg, std::ios::binary) << kOld;
        link.SetProgramPath(dir.File("kavro"));
        link.LoadSettings();
        link.SetPortName("/dev/ttyUSB7");
    }
    std::string ReadFile() const {
        std::ifstream in(cfg, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    const std::string kOld = std::string("/dev/ttyS1") + std::string(22, '\0');
    const std::string kNew = std::string("/dev/ttyUSB7") + std::string(20, '\0');
    testdata::TempDir dir{"kavro-settings"};
    std::string cfg;
    CDeviceLink link;
};
}  // namespace

// A write that fails and one that stops short: neither takes the file's place.
TEST_F(SettingsSave, FailedOrShortWriteLeavesTheOldFileWhole) {
    for (const ssize_t limit : {ssize_t{-1}, ssize_t{10}}) {
        {
            WriteFault fault(limit);
            link.SetPortName(limit < 0 ? "/dev/ttyUSB7" : "/dev/ttyUSB8");
            link.SaveSettings();
        }
        EXPECT_EQ(ReadFile(), kOld) << limit;
        EXPECT_FALSE(fs::exists(cfg + ".new")) << limit;
    }
}

TEST_F(SettingsSave, TemporaryThatCannotBeMadeLeavesTheOldFileWhole) {
    fs::create_directory(cfg + ".new");
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), kOld);
    EXPECT_TRUE(fs::is_directory(cfg + ".new"));
}

TEST_F(SettingsSave, NewFileKeepsTheOldOnesPermissions) {
    ASSERT_EQ(::chmod(cfg.c_str(), 0640), 0);
    link.SaveSettings();
    EXPECT_EQ(ReadFile(), kNew);
    struct stat status {};
    ASSERT_EQ(::stat(cfg.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// As a user who may change the file but not its folder (as in Program Files);
// root runs the save as nobody, whom the folder's mode binds.
TEST_F(SettingsSave, FolderThatTakesNoNewFilesGetsTheNameInPlace) {
    ASSERT_EQ(::chmod(cfg.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(2);
        link.SaveSettings();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(dir.Path().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(), kNew);
    EXPECT_FALSE(fs::exists(cfg + ".new"));
}
