#include "test_servers.h"

#include <fcntl.h>
#include <poll.h>
#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace effects_test {

namespace {

using namespace std::chrono_literals;

// Starts `path` with `args`, the current environment, standard output and
// error into `log`, and `keepFd` (if not -1) left open in the child.
pid_t Spawn(const std::string& path, const std::vector<std::string>& args, const std::string& log, int keepFd = -1) {
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    (void)keepFd;  // inherited: created without close-on-exec
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int Wait(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() > end) return -2;
        std::this_thread::sleep_for(5ms);
    }
}

void End(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (Wait(pid, 3000ms) == -2) {
        kill(pid, SIGKILL);
        Wait(pid, 3000ms);
    }
}

}  // namespace

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

// ------------------------------------------------------------------ Pulse

PrivatePulse::~PrivatePulse() { Stop(); }

void PrivatePulse::Stop() {
    End(pid_);
    pid_ = -1;
}

bool PrivatePulse::Start(std::string* why) {
    const std::string daemon = FindProgram("pulseaudio");
    pactl_ = FindProgram("pactl");
    if (daemon.empty() || pactl_.empty()) {
        *why = "pulseaudio or pactl is not installed";
        return false;
    }
    home_ = std::make_unique<testsupport::IsolatedHome>();
    const std::string run = home_->runtime();
    testsupport::MakeDirs(run);
    const std::string socket = run + "/native";
    env_.Set("PULSE_RUNTIME_PATH", run);
    env_.Set("PULSE_SERVER", "unix:" + socket);
    env_.Set("PULSE_SINK", std::nullopt);
    env_.Set("PULSE_SOURCE", std::nullopt);

    pid_ = Spawn(daemon,
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
                  "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                  "module-null-sink sink_name=keyloom_test rate=48000 channels=2"},
                 home_->dir() / "pulseaudio.log");
    if (pid_ < 0) {
        *why = "pulseaudio could not be started";
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        if (Wait(pid_, 0ms) != -2) {
            pid_ = -1;
            *why = "pulseaudio exited: " + testsupport::ReadFile(home_->dir() / "pulseaudio.log");
            return false;
        }
        if (testsupport::Exists(socket) && Pactl({"info"}) == 0) {
            if (Pactl({"set-default-sink", "keyloom_test"}) != 0) break;
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    *why = "pulseaudio did not answer: " + testsupport::ReadFile(home_->dir() / "pulseaudio.log");
    return false;
}

int PrivatePulse::Pactl(const std::vector<std::string>& args, std::string* out) {
    const std::string log = home_->dir() / "pactl.out";
    ::unlink(log.c_str());
    const pid_t pid = Spawn(pactl_, args, log);
    if (pid < 0) return -1;
    const int rc = Wait(pid, 10000ms);
    if (rc == -2) End(pid);
    if (out) *out = testsupport::Exists(log) ? testsupport::ReadFile(log) : std::string();
    return rc;
}

// -------------------------------------------------------------------- X

PrivateXServer::~PrivateXServer() { Stop(); }

void PrivateXServer::Stop() {
    End(pid_);
    pid_ = -1;
}

bool PrivateXServer::Start(int width, int height, std::string* why) {
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) {
        *why = "Xvfb is not installed";
        return false;
    }
    dir_ = std::make_unique<testsupport::TempDir>();
    int fds[2];
    if (pipe(fds) != 0) {
        *why = "no pipe";
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    // -displayfd: the server picks a free display and writes its number here.
    pid_ = Spawn(xvfb,
                 {"-displayfd", std::to_string(fds[1]), "-screen", "0",
                  std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-noreset"},
                 *dir_ / "xvfb.log", fds[1]);
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        *why = "Xvfb could not be started";
        return false;
    }
    std::string number;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        *why = "Xvfb gave no display: " + testsupport::ReadFile(*dir_ / "xvfb.log");
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
}

// ------------------------------------------------------------------ tone

struct TonePlayer::Impl {
    std::atomic<bool> stop{false};
    std::atomic<bool> playing{false};
    std::thread thread;
};

TonePlayer::TonePlayer(double hz, double amplitude, const std::string& sink) : impl_(std::make_unique<Impl>()) {
    impl_->thread = std::thread([this, hz, amplitude, sink] {
        pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, 48000, 2};
        int err = 0;
        pa_simple* s = pa_simple_new(nullptr, "keyloom test tone", PA_STREAM_PLAYBACK,
                                     sink.empty() ? nullptr : sink.c_str(), "tone", &sampleFormat, nullptr, nullptr, &err);
        if (!s) return;
        impl_->playing = true;
        double phase = 0.0;
        const double step = 2.0 * 3.14159265358979323846 * hz / 48000.0;
        std::vector<std::int16_t> buf(2 * 480);
        while (!impl_->stop) {
            for (std::size_t f = 0; f < 480; ++f) {
                const auto v = static_cast<std::int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
                phase += step;
                buf[2 * f] = buf[2 * f + 1] = v;
            }
            if (pa_simple_write(s, buf.data(), buf.size() * sizeof(std::int16_t), &err) < 0) break;
        }
        impl_->playing = false;
        pa_simple_free(s);
    });
}

TonePlayer::~TonePlayer() {
    impl_->stop = true;
    impl_->thread.join();
}

bool TonePlayer::Playing() const { return impl_->playing; }

}  // namespace effects_test
