#include "sim/softkeys/sim_filter.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {
constexpr int kDevice = 0;
}

class SimFilter::CoreSink final : public platform::FilterCore::Sink {
public:
    explicit CoreSink(SimFilter& filter) : filter_(filter) {}
    void Forward(int, const platform::InputEvent& event) override { filter_.RecordSystem(event, true); }
    void Report(std::uint16_t keyCode, bool pressed) override {
        filter_.events_.PushKey(softkeys::FilterKeyEvent{keyCode, softkeys::kKeyboardUsagePage, pressed});
    }
    bool Grab(int, bool on) override {
        if (filter_.grabbed_ != on) ++filter_.grabChanges_;
        filter_.grabbed_ = on;
        return true;
    }

private:
    SimFilter& filter_;
};

SimFilter::SimFilter() : sink_(std::make_unique<CoreSink>(*this)), core_(*sink_) {}

SimFilter::~SimFilter() {
    if (journal_ >= 0) ::close(journal_);
}

bool SimFilter::Open() {
    std::lock_guard<std::mutex> guard(lock_);
    if (open_) return true;
    if (openFails_) return false;
    open_ = true;
    if (plugged_) core_.AddDevice(kDevice, physicallyDown_, false);
    return true;
}

bool SimFilter::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

void SimFilter::Close() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        core_.SetCapture(false);
        capture_.reset();
        core_.RemoveDevice(kDevice);
        open_ = false;
    }
    events_.Cancel();
}

void SimFilter::Log(softkeys::FilterRequest code, std::span<const std::uint8_t> input) {
    requests_.push_back(Request{code, {input.begin(), input.end()}});
    if (journal_ < 0) return;
    std::string line = "R ";
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%06X %zu", static_cast<unsigned>(code), input.size());
    line += buf;
    for (auto c : softkeys::KeyTableCodes(input)) line += " " + std::to_string(c);
    line += "\n";
    [[maybe_unused]] const ssize_t n = ::write(journal_, line.data(), line.size());
}

void SimFilter::SetTable(std::span<const std::uint8_t> table) {
    std::lock_guard<std::mutex> guard(lock_);
    Log(softkeys::FilterRequest::SetTable, table);
    tableCodes_ = softkeys::KeyTableCodes(table);
    core_.SetTable(softkeys::InputCodesForKeyCodes(tableCodes_));
}

void SimFilter::Prepare() {
    std::lock_guard<std::mutex> guard(lock_);
    Log(softkeys::FilterRequest::Prepare, {});
}

void SimFilter::PrepareSecond() {
    std::lock_guard<std::mutex> guard(lock_);
    Log(softkeys::FilterRequest::PrepareSecond, {});
}

softkeys::FilterWait SimFilter::WaitKeyEvent(softkeys::FilterKeyEvent& event) {
    if (!IsOpen()) return softkeys::FilterWait::None;
    return events_.Wait(event);
}

void SimFilter::CancelWait() { events_.Cancel(); }

bool SimFilter::SetCapture(std::shared_ptr<platform::KeyCaptureSink> sink) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) return false;
    capture_ = std::move(sink);
    core_.SetCapture(capture_ != nullptr);
    return true;
}

bool SimFilter::Inject(int keyCode, bool pressed) {
    const int input = softkeys::InputCodeForKeyCode(keyCode);
    if (input == 0) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        keyCodeOf_[input] = keyCode;
    }
    InjectInput(platform::InputEvent{EV_KEY, static_cast<std::uint16_t>(input), pressed ? 1 : 0});
    InjectInput(platform::InputEvent{EV_SYN, SYN_REPORT, 0});
    return true;
}

void SimFilter::InjectInput(const platform::InputEvent& event) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!plugged_) return;
    if (event.type == EV_KEY && event.value != 2) {
        auto it = std::find(physicallyDown_.begin(), physicallyDown_.end(), event.code);
        if (event.value == 1 && it == physicallyDown_.end()) physicallyDown_.push_back(event.code);
        if (event.value == 0 && it != physicallyDown_.end()) physicallyDown_.erase(it);
    }
    if (!open_ || !core_.HasDevice(kDevice)) {
        RecordSystem(event, false);
        return;
    }
    // The hook is asked without the lock, as the evdev filter asks it on its
    // own thread: it may wait for a thread that is changing the table.
    bool kept = false;
    if (const auto offer = core_.OfferFor(kDevice, event)) {
        const auto capture = capture_;
        guard.unlock();
        kept = capture && capture->OnHookKey(offer->message, offer->record);
        guard.lock();
    }
    if (!core_.HasDevice(kDevice)) {
        RecordSystem(event, false);
        return;
    }
    if (!core_.Grabbed(kDevice)) RecordSystem(event, false);
    core_.OnEvent(kDevice, event, kept);
}

void SimFilter::RecordSystem(const platform::InputEvent& event, bool viaCopy) {
    if (event.type != EV_KEY || event.value == 2) return;
    auto it = keyCodeOf_.find(event.code);
    const int keyCode = it != keyCodeOf_.end() ? it->second : softkeys::KeyCodeForInputCode(event.code);
    system_.push_back(SystemKey{keyCode, event.code, event.value != 0, viaCopy});
}

void SimFilter::Unplug() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!plugged_) return;
        plugged_ = false;
        physicallyDown_.clear();
        if (!core_.HasDevice(kDevice)) return;
        core_.RemoveDevice(kDevice);
    }
    events_.PushKeyboardLost();
}

void SimFilter::Plug() {
    std::lock_guard<std::mutex> guard(lock_);
    if (plugged_) return;
    plugged_ = true;
    if (open_) core_.AddDevice(kDevice, {}, false);
}

void SimFilter::SetOpenFails(bool fail) {
    std::lock_guard<std::mutex> guard(lock_);
    openFails_ = fail;
}

std::vector<SimFilter::Request> SimFilter::Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

std::vector<SimFilter::SystemKey> SimFilter::SystemKeys() const {
    std::lock_guard<std::mutex> guard(lock_);
    return system_;
}

bool SimFilter::Grabbed() const {
    std::lock_guard<std::mutex> guard(lock_);
    return grabbed_;
}

int SimFilter::GrabChanges() const {
    std::lock_guard<std::mutex> guard(lock_);
    return grabChanges_;
}

bool SimFilter::Capturing() const {
    std::lock_guard<std::mutex> guard(lock_);
    return core_.Capturing();
}

std::vector<std::uint16_t> SimFilter::TableCodes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return tableCodes_;
}

void SimFilter::ClearRecords() {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.clear();
    system_.clear();
    grabChanges_ = 0;
}

void SimFilter::SetJournal(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    if (journal_ >= 0) ::close(journal_);
    journal_ = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
}

}  // namespace sim
