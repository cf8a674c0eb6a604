#include "sim/softkeys/sim_virtual_keyboard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace sim {

namespace {

class Backend final : public softkeys::VirtualDeviceBackend {
public:
    explicit Backend(std::shared_ptr<SimVirtualKeyboard> keyboard) : keyboard_(std::move(keyboard)) {}
    bool Open() override { return keyboard_->BackendOpen(); }
    bool IsOpen() const override { return keyboard_->IsOpen(); }
    void Close() override { keyboard_->BackendClose(); }
    bool Write(std::span<const std::uint8_t, softkeys::kDeviceWriteSize> buffer) override {
        return keyboard_->BackendWrite(buffer);
    }

private:
    std::shared_ptr<SimVirtualKeyboard> keyboard_;
};

}  // namespace

std::unique_ptr<softkeys::VirtualDeviceBackend> SimVirtualKeyboard::MakeBackend() {
    return std::make_unique<Backend>(shared_from_this());
}

void SimVirtualKeyboard::SetOpenable(bool openable) {
    std::lock_guard<std::mutex> guard(lock_);
    openable_ = openable;
}

void SimVirtualKeyboard::Disappear() {
    std::lock_guard<std::mutex> guard(lock_);
    open_ = false;
}

void SimVirtualKeyboard::SetWritesFail(bool fail) {
    std::lock_guard<std::mutex> guard(lock_);
    writesFail_ = fail;
}

int SimVirtualKeyboard::OpenCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return openCount_;
}

bool SimVirtualKeyboard::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

std::vector<SimVirtualKeyboard::Write> SimVirtualKeyboard::Writes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writes_;
}

std::size_t SimVirtualKeyboard::WriteCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writes_.size();
}

bool SimVirtualKeyboard::WaitForWrites(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(lock_);
    return written_.wait_for(guard, timeout, [&] { return writes_.size() >= count; });
}

bool SimVirtualKeyboard::WaitUntil(const std::function<bool(const std::vector<Write>&)>& done,
                                   std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(lock_);
    return written_.wait_for(guard, timeout, [&] { return done(writes_); });
}

std::vector<platform::InputEvent> SimVirtualKeyboard::Events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

bool SimVirtualKeyboard::KeyHeld(int keyCode) const {
    std::lock_guard<std::mutex> guard(lock_);
    return decoder_.KeyHeld(keyCode);
}

bool SimVirtualKeyboard::AnyKeyHeld() const {
    std::lock_guard<std::mutex> guard(lock_);
    for (int code = 0; code < 256; ++code) {
        if (decoder_.KeyHeld(code)) return true;
    }
    return decoder_.Buttons() != 0 || decoder_.Consumer() != 0;
}

std::uint8_t SimVirtualKeyboard::Buttons() const {
    std::lock_guard<std::mutex> guard(lock_);
    return decoder_.Buttons();
}

int SimVirtualKeyboard::Consumer() const {
    std::lock_guard<std::mutex> guard(lock_);
    return decoder_.Consumer();
}

void SimVirtualKeyboard::ClearRecords() {
    std::lock_guard<std::mutex> guard(lock_);
    writes_.clear();
    events_.clear();
}

void SimVirtualKeyboard::SetJournal(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    if (journal_ >= 0) ::close(journal_);
    journal_ = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
}

bool SimVirtualKeyboard::BackendOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    ++openCount_;
    if (!open_ && openable_) {
        open_ = true;
        decoder_.Reset();  // a new device holds nothing
    }
    return open_;
}

void SimVirtualKeyboard::BackendClose() {
    std::lock_guard<std::mutex> guard(lock_);
    open_ = false;
}

bool SimVirtualKeyboard::BackendWrite(std::span<const std::uint8_t, softkeys::kDeviceWriteSize> buffer) {
    const auto now = Clock::now();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!open_ || writesFail_) return false;
        Write w;
        w.time = now;
        std::copy(buffer.begin(), buffer.end(), w.bytes.begin());
        writes_.push_back(w);
        decoder_.Decode(buffer, events_);
        if (journal_ >= 0) {
            char line[3 + 2 * softkeys::kDeviceWriteSize + 1];
            int n = std::snprintf(line, sizeof line, "W ");
            for (auto b : buffer) n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X", b);
            line[n++] = '\n';
            [[maybe_unused]] const ssize_t written = ::write(journal_, line, static_cast<std::size_t>(n));
        }
    }
    written_.notify_all();
    return true;
}

}  // namespace sim
