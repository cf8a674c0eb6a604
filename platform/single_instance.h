// One running copy per device name and user. The first copy holds an flock on
// $XDG_RUNTIME_DIR/<name>.lock and listens on a UNIX socket beside it
// (<name>.sock, mode 0600, only the same user is served). Later copies send
// "activate" or a posted window message there and leave.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

struct InstanceMessage {
    enum class Kind { Activate, Post };
    Kind kind = Kind::Activate;
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

class SingleInstance {
public:
    enum class Role {
        Primary,    // this copy holds the lock (also when no lock could be made at all)
        Secondary,  // another copy holds it
    };

    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock for `name` in `folder` (RuntimeFolder() when empty). As
    // primary the socket is bound at once so that a later copy can reach it
    // even while this one is still starting.
    Role Acquire(const std::string& name, const std::string& folder = {});

    // Messages arriving while no handler is set are dropped: a copy that has
    // no window yet has nothing to activate. The handler runs on the
    // listening thread.
    void SetHandler(std::function<void(const InstanceMessage&)> handler);

    // Ends listening and releases the lock; the destructor does it too.
    void Release();

    const std::string& SocketPath() const { return socketPath_; }

    // From a secondary copy: true when the primary accepted the message.
    static bool SendActivate(const std::string& name, const std::string& folder = {});
    static bool PostMessage(const std::string& name, std::uint32_t message, std::uint64_t wParam,
                            std::int64_t lParam, const std::string& folder = {});

private:
    void Listen();
    void Serve(int client);
    static bool Send(const std::string& socketPath, const std::string& line);

    int lockFd_ = -1;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::string lockPath_;
    std::string socketPath_;
    std::thread listener_;
    std::mutex handlerMutex_;
    std::function<void(const InstanceMessage&)> handler_;
};

}  // namespace platform
