// SIGTERM and SIGINT end the program in order: a real child process holds a
// remapped key and a mouse button down, gets the signal, and must leave the
// virtual keyboard released, the table cleared and the keyboard not grabbed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A report line of the device journal: "W" and 64 bytes in hex.
std::string Report(int id, const std::string& dataHex = "") {
    std::string hex = "0501" + dataHex;
    hex[3] = static_cast<char>('0' + id);
    hex.resize(128, '0');
    return "W " + hex;
}

class ExitSignal : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(ExitSignal, LeavesNothingHeldOrGrabbed) {
    testsupport::TempDir dir;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = EXIT_CHILD;
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(dir.path().c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (said.find("ready\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[64];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        said.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (said.find("ready\n") == std::string::npos) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the child never got ready: " << said;
    }

    ASSERT_EQ(kill(pid, GetParam()), 0);
    int status = 0;
    for (int i = 0; i < 2000 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const auto device = Lines(testsupport::ReadFile(dir / "device.log"));
    ASSERT_GE(device.size(), 6u);
    // The key and the button were held...
    EXPECT_NE(std::find(device.begin(), device.end(), Report(1, "00" "20")), device.end());
    EXPECT_NE(std::find(device.begin(), device.end(), Report(2, "01")), device.end());
    // ...and the last thing written released all four reports.
    const std::vector<std::string> tail(device.end() - 4, device.end());
    EXPECT_EQ(tail, (std::vector<std::string>{Report(1), Report(2), Report(3), Report(4)}));

    const auto filter = Lines(testsupport::ReadFile(dir / "filter.log"));
    ASSERT_FALSE(filter.empty());
    EXPECT_EQ(filter.back(), "R 0x22A000 256");
    EXPECT_EQ(testsupport::ReadFile(dir / "state.log"), "grabbed=0 open=0 held=0\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, ExitSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "SIGTERM" : "SIGINT"; });
