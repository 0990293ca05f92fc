#include "instance_lock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace tunelo {
namespace {

namespace fs = std::filesystem;

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tunelo-lock-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FFolder = pattern;
        FPath = (FFolder / "TUNELO.lock").string();
    }
    void TearDown() override { fs::remove_all(FFolder); }

    fs::path FFolder;
    std::string FPath;
};

TEST_F(InstanceLockTest, OnlyOneHolderUntilItLetsGo) {
    auto first = std::make_unique<TMPInstanceLock>(FPath);
    ASSERT_EQ(first->Result(), TMPInstanceLock::ilAcquired) << first->ErrorText();
    {
        TMPInstanceLock second(FPath);
        EXPECT_EQ(second.Result(), TMPInstanceLock::ilHeldElsewhere);
        EXPECT_FALSE(second.Held());
    }
    // The refused attempt must not have disturbed the holder.
    EXPECT_EQ(TMPInstanceLock(FPath).Result(), TMPInstanceLock::ilHeldElsewhere);
    first.reset();
    EXPECT_TRUE(TMPInstanceLock(FPath).Held());
}

TEST_F(InstanceLockTest, AnotherProcessIsRefusedWhileTheLockIsHeld) {
    TMPInstanceLock held(FPath);
    ASSERT_TRUE(held.Held());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TMPInstanceLock attempt(FPath);
        _exit(attempt.Result() == TMPInstanceLock::ilHeldElsewhere ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(InstanceLockTest, AnUnusableLockFileIsAFailureWithAReason) {
    TMPInstanceLock missingFolder((FFolder / "no" / "such" / "TUNELO.lock").string());
    EXPECT_EQ(missingFolder.Result(), TMPInstanceLock::ilFailed);
    EXPECT_FALSE(missingFolder.ErrorText().empty());

    // A link planted under the lock's name is not followed.
    const std::string target = (FFolder / "victim").string();
    fs::create_symlink(target, FPath);
    TMPInstanceLock planted(FPath);
    EXPECT_EQ(planted.Result(), TMPInstanceLock::ilFailed);
    EXPECT_FALSE(fs::exists(target));
}

TEST(InstanceLockPathTest, RuntimeFolderElseTmpWithTheUserId) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(TMPInstanceLock::InstanceLockPath(), "/run/user/1000/TUNELO.lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TMPInstanceLock::InstanceLockPath(), "/tmp/TUNELO-" + std::to_string(getuid()) + ".lock");
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(TMPInstanceLock::InstanceLockPath(), "/tmp/TUNELO-" + std::to_string(getuid()) + ".lock");
    if (saved) {
        setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

} // namespace
} // namespace tunelo
