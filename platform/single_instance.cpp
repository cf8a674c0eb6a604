#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/paths.h"

namespace platform {

namespace {

constexpr int kIoTimeoutMs = 1000;

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string FolderOr(const std::string& folder) { return folder.empty() ? RuntimeFolder() : folder; }

}  // namespace

SingleInstance::~SingleInstance() { Release(); }

SingleInstance::Role SingleInstance::Acquire(const std::string& name, const std::string& folder) {
    const std::string dir = FolderOr(folder);
    const std::string base = dir + "/" + SafeFileName(name);
    lockPath_ = base + ".lock";
    socketPath_ = base + ".sock";

    lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return Role::Primary;  // no lock possible: run as the only copy
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(lockFd_);
        lockFd_ = -1;
        return held ? Role::Secondary : Role::Primary;
    }

    // We hold the lock, so any socket file left is from a copy that died.
    ::unlink(socketPath_.c_str());
    sockaddr_un addr{};
    if (!MakeAddress(socketPath_, addr)) return Role::Primary;
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return Role::Primary;
    const mode_t old = ::umask(0077);
    const int bound = ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::umask(old);
    if (bound != 0 || ::listen(listenFd_, 8) != 0 || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return Role::Primary;
    }
    ::chmod(socketPath_.c_str(), 0600);
    listener_ = std::thread([this] { Listen(); });
    return Role::Primary;
}

void SingleInstance::SetHandler(std::function<void(const InstanceMessage&)> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
}

void SingleInstance::Release() {
    if (listener_.joinable()) {
        const char b = 'x';
        [[maybe_unused]] const ssize_t n = ::write(wakePipe_[1], &b, 1);
        listener_.join();
    }
    for (int* fd : {&listenFd_, &wakePipe_[0], &wakePipe_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (lockFd_ >= 0) {
        ::unlink(socketPath_.c_str());
        ::close(lockFd_);  // releases the flock
        lockFd_ = -1;
    }
}

void SingleInstance::Listen() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
}

void SingleInstance::Serve(int client) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) return;

    // One short line per connection; a peer that says nothing is dropped.
    std::string line;
    char buf[128];
    while (line.size() < 256 && line.find('\n') == std::string::npos) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, kIoTimeoutMs) <= 0) return;
        const ssize_t n = ::read(client, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    line = line.substr(0, line.find('\n'));

    InstanceMessage msg;
    if (line == "activate") {
        msg.kind = InstanceMessage::Kind::Activate;
    } else {
        std::istringstream in(line);
        std::string word;
        unsigned long long m = 0, w = 0;
        long long l = 0;
        if (!(in >> word >> m >> w >> l) || word != "post" || m > 0xFFFFFFFFull) return;
        msg.kind = InstanceMessage::Kind::Post;
        msg.message = static_cast<std::uint32_t>(m);
        msg.wParam = w;
        msg.lParam = l;
    }
    {
        std::lock_guard lock(handlerMutex_);
        if (handler_) handler_(msg);
    }
    [[maybe_unused]] const ssize_t n = ::write(client, "ok\n", 3);
}

bool SingleInstance::Send(const std::string& socketPath, const std::string& line) {
    sockaddr_un addr{};
    if (!MakeAddress(socketPath, addr)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    if (ok) {
        char reply[8] = {};
        pollfd p{fd, POLLIN, 0};
        ok = ::poll(&p, 1, kIoTimeoutMs) > 0 && ::read(fd, reply, sizeof reply) >= 2 && reply[0] == 'o' && reply[1] == 'k';
    }
    ::close(fd);
    return ok;
}

bool SingleInstance::SendActivate(const std::string& name, const std::string& folder) {
    return Send(FolderOr(folder) + "/" + SafeFileName(name) + ".sock", "activate\n");
}

bool SingleInstance::PostMessage(const std::string& name, std::uint32_t message, std::uint64_t wParam,
                                 std::int64_t lParam, const std::string& folder) {
    const std::string line = "post " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                             std::to_string(lParam) + "\n";
    return Send(FolderOr(folder) + "/" + SafeFileName(name) + ".sock", line);
}

}  // namespace platform
