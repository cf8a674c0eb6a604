#include "platform/exit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

namespace platform {

namespace {

int g_pipe[2] = {-1, -1};

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(int)>& Handler() {
    static std::function<void(int)> handler;
    return handler;
}

extern "C" void OnExitSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void Watch() {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(g_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        std::function<void(int)> handler;
        {
            std::lock_guard<std::mutex> guard(HandlerLock());
            handler = Handler();
        }
        if (handler) handler(byte);
    }
}

}  // namespace

bool InstallExitSignalHandler(std::function<void(int signal)> onSignal) {
    {
        std::lock_guard<std::mutex> guard(HandlerLock());
        Handler() = std::move(onSignal);
    }
    static const bool ready = [] {
        if (pipe2(g_pipe, O_CLOEXEC) != 0) return false;
        std::thread(Watch).detach();
        struct sigaction action = {};
        action.sa_handler = OnExitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
    }();
    return ready;
}

}  // namespace platform
