// instance_holder NAME FOLDER COUNT
// As the first copy: prints "primary", then each of COUNT messages received.
// As a later copy: prints "secondary", sends "activate" and exits 0.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/single_instance.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int want = std::atoi(argv[3]);
    std::mutex m;
    std::condition_variable cv;
    int got = 0;
    // The handler is set before the lock is taken, so nothing sent after the
    // socket appears can be missed; it waits for "primary" to be printed.
    std::unique_lock l(m);
    platform::SingleInstance guard;
    guard.SetHandler([&](const platform::InstanceMessage& msg) {
        std::lock_guard inner(m);
        std::printf("%s\n", msg.kind == platform::InstanceMessage::Kind::Activate ? "activate" : "post");
        std::fflush(stdout);
        ++got;
        cv.notify_all();
    });
    if (guard.Acquire(argv[1], argv[2]) == platform::SingleInstance::Role::Secondary) {
        std::printf("secondary\n");
        std::fflush(stdout);
        return platform::SingleInstance::SendActivate(argv[1], argv[2]) ? 0 : 3;
    }
    std::printf("primary\n");
    std::fflush(stdout);
    const bool ok = cv.wait_for(l, std::chrono::seconds(8), [&] { return got >= want; });
    l.unlock();
    return ok ? 0 : 4;
}
