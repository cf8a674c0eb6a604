#include "link/device_manager.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace {

constexpr std::size_t kFeatureLength = 8;
constexpr std::size_t kOutputLength = 65;
constexpr std::size_t kPacketLength = 64;
constexpr std::size_t kTableLength = 28;
constexpr std::uint8_t kFeatureReportId = 7;

constexpr int kFeatureWaitMs = 16;
constexpr int kReportRetryWaitMs = 10;
constexpr int kPacketRetryWaitMs = 32;

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::mutex& DefaultBackendLock() {
    static std::mutex m;
    return m;
}
std::shared_ptr<HidBackend>& DefaultBackendSlot() {
    static std::shared_ptr<HidBackend> backend;
    return backend;
}
std::atomic<DeviceManager*>& InstanceSlot() {
    static std::atomic<DeviceManager*> instance{nullptr};
    return instance;
}

}  // namespace

// One open device handle and the lock that keeps its transfers whole.
struct DeviceManager::Channel {
    explicit Channel(HidDevice* d) : device(d) {}
    HidDevice* device;
    std::mutex io;
};

struct DeviceManager::OpenInterface {
    InterfaceInfo info;
    std::unique_ptr<Channel> channel;
};

// --- Gate ----------------------------------------------------------------

void DeviceManager::Gate::LockShared() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return !writer_ && writersWaiting_ == 0; });
    ++readers_;
}
void DeviceManager::Gate::UnlockShared() {
    std::lock_guard<std::mutex> l(m_);
    if (--readers_ == 0) cv_.notify_all();
}
void DeviceManager::Gate::Lock() {
    std::unique_lock<std::mutex> l(m_);
    ++writersWaiting_;
    cv_.wait(l, [this] { return !writer_ && readers_ == 0; });
    --writersWaiting_;
    writer_ = true;
}
void DeviceManager::Gate::Unlock() {
    std::lock_guard<std::mutex> l(m_);
    writer_ = false;
    cv_.notify_all();
}

struct DeviceManager::SharedHold {
    explicit SharedHold(Gate& g) : gate(g) { gate.LockShared(); }
    ~SharedHold() { gate.UnlockShared(); }
    Gate& gate;
};
struct DeviceManager::ExclusiveHold {
    explicit ExclusiveHold(Gate& g) : gate(g) { gate.Lock(); }
    ~ExclusiveHold() { gate.Unlock(); }
    Gate& gate;
};

// --- Construction --------------------------------------------------------

DeviceManager& DeviceManager::Instance() {
    static DeviceManager manager(DefaultHidBackend());
    InstanceSlot().store(&manager);
    return manager;
}

DeviceManager::DeviceManager(std::shared_ptr<HidBackend> backend, DeviceClock* clock)
    : backend_(std::move(backend)), clock_(clock) {}

DeviceManager::~DeviceManager() {
    DeviceManager* self = this;
    InstanceSlot().compare_exchange_strong(self, nullptr);
    StopDeviceNotifications();
    ExclusiveHold hold(gate_);
    CloseAllLocked();
}

void DeviceManager::SetBackend(std::shared_ptr<HidBackend> backend) {
    std::function<void(const DeviceChange&)> handler;
    {
        std::lock_guard<std::mutex> l(notifyLock_);
        handler = notifyHandler_;
    }
    {
        ExclusiveHold hold(gate_);
        CloseAllLocked();
        if (backend_ && handler) backend_->StopDeviceNotifications();
        backend_ = std::move(backend);
        if (backend_ && handler) backend_->StartDeviceNotifications(handler);
    }
}

std::shared_ptr<HidBackend> DeviceManager::Backend() const {
    SharedHold hold(gate_);
    return backend_;
}

void DeviceManager::SetClock(DeviceClock* clock) { clock_.store(clock); }

DeviceClock& DeviceManager::Clock() const {
    DeviceClock* c = clock_.load();
    return c ? *c : DefaultDeviceClock();
}

// --- Discovery -----------------------------------------------------------

void DeviceManager::AddTarget(int vendorId, int productId, const CString& productName, int deviceType, int mode,
                              const CString& interfacePattern) {
    std::lock_guard<std::mutex> l(targetsLock_);
    targets_.push_back(Target{vendorId, productId, productName, deviceType, mode, interfacePattern});
}

std::vector<Target> DeviceManager::Targets() const {
    std::lock_guard<std::mutex> l(targetsLock_);
    return targets_;
}

void DeviceManager::CloseAll() {
    ExclusiveHold hold(gate_);
    CloseAllLocked();
}

void DeviceManager::CloseAllLocked() {
    // Closes whatever is open even when the open flag is already clear: a
    // Scan run on its own sets no flag, and its interfaces must not leak.
    {
        std::lock_guard<std::mutex> l(cacheLock_);
        cachedCommand_ = nullptr;
    }
    for (auto& iface : interfaces_) {
        if (backend_ && iface->channel) backend_->Close(iface->channel->device);
    }
    interfaces_.clear();
    if (aux_) {
        if (backend_) backend_->Close(aux_->device);
        aux_.reset();
    }
    open_.store(false);
}

void DeviceManager::Scan() {
    ExclusiveHold hold(gate_);
    ScanLocked();
}

void DeviceManager::Rescan() {
    ExclusiveHold hold(gate_);
    CloseAllLocked();
    ScanLocked();
    open_.store(true);
    currentDeviceType_.store(0);
    std::lock_guard<std::mutex> l(cacheLock_);
    cachedCommand_ = nullptr;
}

bool DeviceManager::TargetMatch(const HidDeviceInfo& info) const {
    std::lock_guard<std::mutex> l(targetsLock_);
    for (const Target& t : targets_) {
        if (t.vendorId != info.vendorId || t.productId != info.productId) continue;
        // The enumeration asks no strings of the devices, so the product
        // string compared is always empty: only a target without a product
        // name can match.
        if (t.productName.empty()) return true;
    }
    return false;
}

void DeviceManager::ScanLocked() {
    if (!backend_) return;
    const std::vector<HidDeviceInfo> all = backend_->Enumerate();
    for (const HidDeviceInfo& info : all) {
        if (!TargetMatch(info)) continue;
        HidDevice* device = backend_->Open(info.path);
        if (!device) continue;  // in use or not permitted: skipped without a word
        if (info.usagePage != kVendorUsagePage || info.usage != kVendorUsage) {
            backend_->Close(device);
            continue;
        }
        if (Upper(info.interfaceName).find("&MI_03") != std::string::npos) {
            if (aux_) backend_->Close(aux_->device);
            aux_ = std::make_unique<Channel>(device);
            continue;
        }
        auto iface = std::make_unique<OpenInterface>();
        iface->info.index = static_cast<int>(interfaces_.size());
        iface->info.vendorId = info.vendorId;
        iface->info.productId = info.productId;
        iface->info.path = info.path;
        iface->info.releaseNumber = info.releaseNumber;
        iface->info.interfaceName = info.interfaceName;
        {
            std::lock_guard<std::mutex> l(targetsLock_);
            for (const Target& t : targets_) {
                if (t.vendorId == info.vendorId && t.productId == info.productId) {
                    iface->info.deviceType = t.deviceType;
                    iface->info.mode = t.mode;
                    break;
                }
            }
        }
        iface->info.isWired = iface->info.mode == 0 ? 1 : 0;
        iface->channel = std::make_unique<Channel>(device);
        interfaces_.push_back(std::move(iface));
    }
}

bool DeviceManager::Matches(const InterfaceInfo& iface) const {
    const int type = currentDeviceType_.load();
    return type == 0 || iface.deviceType == type;
}

bool DeviceManager::CollectInterfaces(std::vector<InterfaceInfo>& list) const {
    SharedHold hold(gate_);
    if (interfaces_.empty()) return false;
    for (const auto& iface : interfaces_)
        if (Matches(iface->info)) list.push_back(iface->info);
    return true;
}

int DeviceManager::FindInterface(int vendorId, int productId, const CString& productName, int mode) const {
    SharedHold hold(gate_);
    for (const auto& iface : interfaces_) {
        const InterfaceInfo& i = iface->info;
        if (i.vendorId != vendorId || i.productId != productId || i.mode != mode) continue;
        if (productName.empty()) return i.index;
        // Only the first interface with these ids is looked at.
        return i.productString == productName ? i.index : -1;
    }
    return -1;
}

int DeviceManager::GetConnectionMode() const {
    SharedHold hold(gate_);
    bool has[3] = {false, false, false};
    for (const auto& iface : interfaces_) {
        if (!Matches(iface->info)) continue;
        if (iface->info.mode >= 0 && iface->info.mode <= 2) has[iface->info.mode] = true;
    }
    // Not the channel order: a receiver showing both wireless modes reports 2.
    if (has[0]) return 0;
    if (has[2]) return 2;
    if (has[1]) return 1;
    return -1;
}

DeviceManager::Channel* DeviceManager::CommandChannelLocked() {
    std::lock_guard<std::mutex> l(cacheLock_);
    if (cachedCommand_) return cachedCommand_;
    for (int mode = 0; mode <= 2 && !cachedCommand_; ++mode) {
        for (const auto& iface : interfaces_) {
            if (Matches(iface->info) && iface->info.mode == mode) {
                cachedCommand_ = iface->channel.get();
                break;
            }
        }
    }
    return cachedCommand_;
}

HidDevice* DeviceManager::CommandChannel() {
    SharedHold hold(gate_);
    Channel* ch = CommandChannelLocked();
    return ch ? ch->device : nullptr;
}

HidDevice* DeviceManager::AuxChannel() const {
    SharedHold hold(gate_);
    return aux_ ? aux_->device : nullptr;
}

void DeviceManager::SetCurrentDeviceType(int deviceType) {
    SharedHold hold(gate_);
    std::lock_guard<std::mutex> l(cacheLock_);
    currentDeviceType_.store(deviceType);
    cachedCommand_ = nullptr;
}

void DeviceManager::DropCommandChannel() {
    std::lock_guard<std::mutex> l(cacheLock_);
    cachedCommand_ = nullptr;
}

std::vector<InterfaceInfo> DeviceManager::Interfaces() const {
    SharedHold hold(gate_);
    std::vector<InterfaceInfo> out;
    for (const auto& iface : interfaces_) out.push_back(iface->info);
    return out;
}

CString DeviceManager::LastError() const {
    std::lock_guard<std::mutex> l(errorLock_);
    return lastError_;
}

// --- Transfers -----------------------------------------------------------

void DeviceManager::RecordError(Channel& ch) {
    std::wstring text = backend_->ErrorText(ch.device);
    const size_t cut = text.find_first_of(L"\r\n");
    if (cut != std::wstring::npos) text.resize(cut);
    std::lock_guard<std::mutex> l(errorLock_);
    lastError_ = CString(text);
}

bool DeviceManager::FeatureWrite(Channel& ch, const std::uint8_t* report8) {
    std::uint8_t report[kFeatureLength] = {};
    std::memcpy(report, report8, kFeatureLength);
    std::lock_guard<std::mutex> l(ch.io);
    const int r = backend_->SendFeatureReport(ch.device, report, kFeatureLength);
    if (r > 0) return true;
    RecordError(ch);
    return false;
}

int DeviceManager::FeatureRead(Channel& ch, std::uint8_t* report8) {
    // The read goes to a copy so that a failed read leaves the caller's
    // buffer exactly as it was, whatever the backend did to its own.
    std::uint8_t scratch[kFeatureLength];
    std::memcpy(scratch, report8, kFeatureLength);
    std::lock_guard<std::mutex> l(ch.io);
    const int r = backend_->GetFeatureReport(ch.device, scratch, kFeatureLength);
    if (r > 0) {
        std::memcpy(report8, scratch, std::min<std::size_t>(static_cast<std::size_t>(r), kFeatureLength));
    } else {
        RecordError(ch);
    }
    return r;
}

int DeviceManager::OutputWrite(Channel& ch, const std::uint8_t* report65) {
    std::lock_guard<std::mutex> l(ch.io);
    const int r = backend_->Write(ch.device, report65, kOutputLength);
    if (r <= 0) RecordError(ch);
    return r;
}

bool DeviceManager::SendFeature(std::span<const std::uint8_t> buf) {
    if (buf.size() < kFeatureLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    return FeatureWrite(*ch, buf.data());
}

bool DeviceManager::SendFeatureAfterDelay(std::span<const std::uint8_t> buf) {
    if (buf.size() < kFeatureLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    Clock().SleepMs(kFeatureWaitMs);
    FeatureWrite(*ch, buf.data());
    // Its callers ignore the result; it has never carried one.
    return false;
}

bool DeviceManager::QueryFeatureTable(std::span<std::uint8_t> buf) {
    if (buf.size() < kTableLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    std::uint8_t request[kFeatureLength];
    std::memcpy(request, buf.data(), kFeatureLength);
    FeatureWrite(*ch, request);  // a failure is recorded; the reads still follow
    std::uint8_t read[kFeatureLength];
    std::memcpy(read, request, kFeatureLength);
    for (int r = 0; r < 4; ++r) {
        read[0] = kFeatureReportId;
        read[1] = 0xFB;
        read[2] = 1;
        Clock().SleepMs(kFeatureWaitMs);
        if (FeatureRead(*ch, read) > 0) std::memcpy(buf.data() + 7 * r, read + 1, 7);
    }
    return true;
}

bool DeviceManager::ReadFirmwareVersion(int& version) {
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    static constexpr std::uint8_t kRequest[kFeatureLength] = {kFeatureReportId, 0xFD, 0, 0, 0, 0, 0, 0};
    Clock().SleepMs(kFeatureWaitMs);
    if (!FeatureWrite(*ch, kRequest)) return false;
    std::uint8_t read[kFeatureLength];
    Clock().SleepMs(kFeatureWaitMs);
    std::memcpy(read, kRequest, kFeatureLength);
    FeatureRead(*ch, read);
    if (read[0] != kFeatureReportId) {
        Clock().SleepMs(kFeatureWaitMs);
        std::memcpy(read, kRequest, kFeatureLength);
        FeatureRead(*ch, read);
    }
    // Two failed reads leave the request in the buffer: 0xFD00.
    version = read[1] * 256 + read[2];
    return true;
}

bool DeviceManager::WriteReport(std::span<const std::uint8_t> buf) {
    if (buf.size() < kOutputLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    std::uint8_t report[kOutputLength];
    std::memcpy(report, buf.data(), kOutputLength);
    if (OutputWrite(*ch, report) > 0) return true;
    Clock().SleepMs(kReportRetryWaitMs);
    std::memcpy(report, buf.data(), kOutputLength);
    return OutputWrite(*ch, report) > 0;
}

bool DeviceManager::WriteAuxReport(std::span<const std::uint8_t> buf) {
    if (buf.size() < kOutputLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? aux_.get() : nullptr;
    if (!ch) return false;
    std::uint8_t report[kOutputLength];
    std::memcpy(report, buf.data(), kOutputLength);
    if (OutputWrite(*ch, report) <= 0) {
        Clock().SleepMs(kReportRetryWaitMs);
        std::memcpy(report, buf.data(), kOutputLength);
        OutputWrite(*ch, report);
    }
    return true;
}

bool DeviceManager::WritePacket(std::span<const std::uint8_t> data) {
    if (data.size() < kPacketLength) return false;
    SharedHold hold(gate_);
    Channel* ch = open_.load() ? CommandChannelLocked() : nullptr;
    if (!ch) return false;
    std::uint8_t report[kOutputLength];
    report[0] = 0;
    std::memcpy(report + 1, data.data(), kPacketLength);
    if (OutputWrite(*ch, report) > 0) return true;
    Clock().SleepMs(kPacketRetryWaitMs);
    report[0] = 0;
    std::memcpy(report + 1, data.data(), kPacketLength);
    return OutputWrite(*ch, report) > 0;
}

// --- Notifications -------------------------------------------------------

bool DeviceManager::StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) {
    {
        std::lock_guard<std::mutex> l(notifyLock_);
        notifyHandler_ = handler;
    }
    SharedHold hold(gate_);
    return backend_ && handler && backend_->StartDeviceNotifications(std::move(handler));
}

void DeviceManager::StopDeviceNotifications() {
    {
        std::lock_guard<std::mutex> l(notifyLock_);
        notifyHandler_ = nullptr;
    }
    SharedHold hold(gate_);
    if (backend_) backend_->StopDeviceNotifications();
}

// --- Process-wide bus ----------------------------------------------------

std::shared_ptr<HidBackend> DefaultHidBackend() {
    std::lock_guard<std::mutex> l(DefaultBackendLock());
    auto& slot = DefaultBackendSlot();
    if (!slot) slot = MakeHidapiBackend();
    return slot;
}

void SetDefaultHidBackend(std::shared_ptr<HidBackend> backend) {
    {
        std::lock_guard<std::mutex> l(DefaultBackendLock());
        DefaultBackendSlot() = backend;
    }
    if (DeviceManager* m = InstanceSlot().load()) m->SetBackend(std::move(backend));
}
