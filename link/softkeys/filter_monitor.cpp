#include "link/softkeys/filter_monitor.h"

#include <array>
#include <chrono>

namespace HidUsbFilter {

namespace {
constexpr auto kIdleWait = std::chrono::milliseconds(10);
}

FilterMonitor::FilterMonitor(std::shared_ptr<softkeys::FilterBackend> filter) : filter_(std::move(filter)) {}

FilterMonitor::~FilterMonitor() { StopMonitor(); }

bool FilterMonitor::AddListener(std::unique_ptr<IMonitorProxy> listener) {
    if (!listener) return false;
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& l : listeners_) {
        if (l->SameAs(*listener)) return false;
    }
    listeners_.push_back(std::move(listener));
    return true;
}

std::size_t FilterMonitor::ListenerCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return listeners_.size();
}

bool FilterMonitor::OpenControl() { return filter_ && filter_->Open(); }
bool FilterMonitor::ControlOpen() const { return filter_ && filter_->IsOpen(); }
void FilterMonitor::CloseControl() {
    if (filter_) filter_->Close();
}

void FilterMonitor::SendTable(std::span<const std::uint8_t> table) {
    if (filter_) filter_->SetTable(table);
}

void FilterMonitor::ClearTable() {
    const std::array<std::uint8_t, softkeys::kClearTableBytes> zero{};
    SendTable(zero);
}

void FilterMonitor::Prepare() {
    if (!filter_) return;
    filter_->Prepare();
    filter_->PrepareSecond();
}

void FilterMonitor::SetKeyboardLostHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> guard(lock_);
    keyboardLost_ = std::move(handler);
}

void FilterMonitor::StartListening() {
    StopMonitor();
    std::lock_guard<std::mutex> guard(threadLock_);
    // The id the thread must keep seeing; 0 is "stop".
    const std::uint32_t id = ++nextId_ == 0 ? ++nextId_ : nextId_;
    threadId_.store(id);
    thread_ = std::thread([this, id] { Listen(id); });
}

bool FilterMonitor::Running() const { return threadId_.load() != 0; }

bool FilterMonitor::StopMonitor() {
    std::lock_guard<std::mutex> guard(threadLock_);
    if (!thread_.joinable()) return false;
    threadId_.store(0);
    if (filter_) filter_->CancelWait();
    {
        std::lock_guard<std::mutex> sleep(sleepLock_);
    }
    wake_.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Called from a listener: the thread ends by itself once it returns.
        thread_.detach();
        return true;
    }
    thread_.join();
    return true;
}

void FilterMonitor::Pause(std::uint32_t id) {
    std::unique_lock<std::mutex> sleep(sleepLock_);
    wake_.wait_for(sleep, kIdleWait, [&] { return threadId_.load() != id; });
}

void FilterMonitor::Listen(std::uint32_t id) {
    while (threadId_.load() == id) {
        bool haveListeners = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            haveListeners = !listeners_.empty();
        }
        if (!haveListeners || !ControlOpen()) {
            Pause(id);
            continue;
        }
        softkeys::FilterKeyEvent event;
        const auto result = filter_->WaitKeyEvent(event);
        if (result == softkeys::FilterWait::Event) {
            // Delivered even when a stop was asked meanwhile: it may be the
            // release of a key a listener holds down.
            std::lock_guard<std::mutex> guard(lock_);
            for (const auto& l : listeners_) {
                if (l->OnKeyEvent(event.usagePage, event.keyCode, event.pressed) != 0) break;
            }
        } else if (result == softkeys::FilterWait::KeyboardLost) {
            std::function<void()> lost;
            {
                std::lock_guard<std::mutex> guard(lock_);
                lost = keyboardLost_;
            }
            if (lost) lost();
        } else {
            Pause(id);
        }
    }
}

}  // namespace HidUsbFilter
