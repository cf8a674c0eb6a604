#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/single_instance.h"
#include "test_support.h"

using platform::InstanceMessage;
using platform::SingleInstance;

TEST(SingleInstance, SecondCopyReachesTheFirst) {
    testsupport::TempDir dir;
    SingleInstance first;
    ASSERT_EQ(first.Acquire("Keyloom", dir.path()), SingleInstance::Role::Primary);
    struct stat st {};
    ASSERT_EQ(stat(first.SocketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::mutex m;
    std::condition_variable cv;
    std::vector<InstanceMessage> got;
    first.SetHandler([&](const InstanceMessage& msg) {
        std::lock_guard l(m);
        got.push_back(msg);
        cv.notify_all();
    });

    SingleInstance second;
    EXPECT_EQ(second.Acquire("Keyloom", dir.path()), SingleInstance::Role::Secondary);
    EXPECT_TRUE(SingleInstance::SendActivate("Keyloom", dir.path()));
    EXPECT_TRUE(SingleInstance::PostMessage("Keyloom", 0x0401 + 7, 12, -3, dir.path()));

    std::unique_lock l(m);
    ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(5), [&] { return got.size() == 2; }));
    EXPECT_EQ(got[0].kind, InstanceMessage::Kind::Activate);
    EXPECT_EQ(got[1].kind, InstanceMessage::Kind::Post);
    EXPECT_EQ(got[1].message, 0x0408u);
    EXPECT_EQ(got[1].wParam, 12u);
    EXPECT_EQ(got[1].lParam, -3);
}

TEST(SingleInstance, MessagesBeforeAHandlerAreDroppedAndNamesAreSeparate) {
    testsupport::TempDir dir;
    SingleInstance first;
    ASSERT_EQ(first.Acquire("A", dir.path()), SingleInstance::Role::Primary);
    // Still starting (no handler): the second copy is answered and nothing happens.
    EXPECT_TRUE(SingleInstance::SendActivate("A", dir.path()));
    SingleInstance other;
    EXPECT_EQ(other.Acquire("B", dir.path()), SingleInstance::Role::Primary);
}

TEST(SingleInstance, ReleaseLetsTheNextCopyBeFirstAndStaleSocketsAreReplaced) {
    testsupport::TempDir dir;
    {
        SingleInstance first;
        ASSERT_EQ(first.Acquire("K", dir.path()), SingleInstance::Role::Primary);
    }
    testsupport::WriteFile(dir / "K.sock", "stale");  // left by a copy that crashed
    SingleInstance next;
    EXPECT_EQ(next.Acquire("K", dir.path()), SingleInstance::Role::Primary);
    EXPECT_TRUE(SingleInstance::SendActivate("K", dir.path()));
    next.Release();
    EXPECT_FALSE(SingleInstance::SendActivate("K", dir.path()));
}

TEST(SingleInstance, TwoRealProcesses) {
    testsupport::TempDir dir;
    // The holder takes the lock, prints "ready", then prints what it receives.
    std::thread holderThread;
    testsupport::ProcessResult holder;
    holderThread = std::thread([&] {
        holder = testsupport::RunProgram(INSTANCE_HOLDER, {"Keyloom", dir.path(), "1"}, {}, 10000);
    });
    for (int i = 0; i < 200 && !testsupport::Exists(dir / "Keyloom.sock"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto second = testsupport::RunProgram(INSTANCE_HOLDER, {"Keyloom", dir.path(), "0"});
    holderThread.join();
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.out, "secondary\n");
    EXPECT_EQ(holder.exitCode, 0);
    EXPECT_EQ(holder.out, "primary\nactivate\n");
}
