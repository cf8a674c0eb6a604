#include "sim/simulated_keyboard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/udev_monitor.h"

namespace sim {

namespace {

constexpr size_t kTraceLimit = 200000;  // oldest records go first beyond this
constexpr std::uint16_t kDefaultFirmware = 0x0105;

const std::wstring kNoDevice = L"No such device";
const std::wstring kIoError = L"Input/output error";
const std::wstring kNotPermitted = L"Permission denied";
const std::wstring kNoFile = L"No such file or directory";
const std::wstring kBadHandle = L"Bad file descriptor";

struct Collection {
    std::uint16_t usagePage;
    std::uint16_t usage;
};

struct Node {
    int interfaceNumber;  // -1 on Bluetooth
    std::vector<Collection> collections;
};

// What each kind of connection shows on the bus.
std::vector<Node> NodesFor(const SimConnection& c) {
    const Collection keyboard{0x0001, 0x0006};
    const Collection vendor{0xFF01, 0x0001};
    if (c.bluetooth) return {Node{-1, {keyboard, vendor}}};
    if (c.mode == 0) return {Node{0, {keyboard}}, Node{1, {vendor}}, Node{3, {vendor}}};
    return {Node{0, {keyboard}}, Node{1, {vendor}}};
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        if (!out.flush()) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

struct BusNode {
    KeyboardCore* kb = nullptr;  // null for other devices
    int mode = 0;
    int generation = 0;
    int hidraw = 0;
    std::string path;
    bool vendor = false;
    bool aux = false;
    int interfaceNumber = -1;
    std::vector<HidDeviceInfo> infos;  // one per collection
};

struct KeyboardCore {
    SimKeyboardSetup setup;
    Firmware firmware;
    std::map<int, int> attached;  // mode -> generation
    int generationCounter = 0;
    int failNext = 0;
    std::deque<ReadReply> replies;
    std::set<std::pair<int, int>> denied;
    int detachMode = -1;
    int detachAfter = -1;
    int latencyMs = 0;
    std::deque<TransferRecord> trace;
    std::function<void(const TransferRecord&)> listener;
    std::string lastSaved;
};

struct SimHandle final : HidDevice {
    KeyboardCore* kb = nullptr;
    int mode = 0;
    int generation = 0;
    std::string path;
    bool vendor = false;
    bool aux = false;
    int interfaceNumber = -1;
    bool closed = false;
    std::wstring error;
};

struct BusCore {
    mutable std::mutex m;
    DeviceClock* clock = nullptr;
    std::vector<std::unique_ptr<KeyboardCore>> keyboards;
    std::vector<BusNode> nodes;  // present now, in arrival order
    std::set<int> hidrawInUse;
    // Every handle ever opened stays here, closed ones marked, so that a
    // transfer on a closed handle is caught instead of touching freed memory.
    std::vector<std::unique_ptr<SimHandle>> handles;
    std::function<void(const DeviceChange&)> handler;
    std::wstring openError;
    long useAfterClose = 0;

    DeviceClock& Clock() const { return clock ? *clock : DefaultDeviceClock(); }

    int NextHidraw() {
        int n = 0;
        while (hidrawInUse.count(n)) ++n;
        hidrawInUse.insert(n);
        return n;
    }

    // Both return the events to deliver once the lock is released.
    bool AttachLocked(KeyboardCore& kb, int mode, std::vector<DeviceChange>& events) {
        if (kb.attached.count(mode)) return false;
        const SimConnection* conn = nullptr;
        for (const SimConnection& c : kb.setup.connections)
            if (c.mode == mode) conn = &c;
        if (!conn) return false;
        const int generation = ++kb.generationCounter;
        kb.attached[mode] = generation;
        for (const Node& n : NodesFor(*conn)) {
            BusNode node;
            node.kb = &kb;
            node.mode = mode;
            node.generation = generation;
            node.hidraw = NextHidraw();
            node.path = "/sim/hidraw" + std::to_string(node.hidraw);
            node.interfaceNumber = n.interfaceNumber;
            node.aux = n.interfaceNumber == 3;
            const std::string sysname = "hidraw" + std::to_string(node.hidraw);
            const std::string name =
                platform::HidInterfaceName(conn->vendorId, conn->productId, n.interfaceNumber, sysname, conn->bluetooth);
            for (const Collection& c : n.collections) {
                HidDeviceInfo info;
                info.path = node.path;
                info.interfaceName = name;
                info.vendorId = conn->vendorId;
                info.productId = conn->productId;
                info.productString = L"Simulated keyboard";
                info.releaseNumber = 0x0100;
                info.usagePage = c.usagePage;
                info.usage = c.usage;
                info.interfaceNumber = n.interfaceNumber;
                info.bluetooth = conn->bluetooth;
                node.infos.push_back(info);
                if (c.usagePage == 0xFF01) node.vendor = true;
            }
            nodes.push_back(node);
            events.push_back(DeviceChange{true, name});
        }
        return true;
    }

    bool DetachLocked(KeyboardCore& kb, int mode, std::vector<DeviceChange>& events) {
        if (!kb.attached.count(mode)) return false;
        kb.attached.erase(mode);
        for (auto it = nodes.begin(); it != nodes.end();) {
            if (it->kb == &kb && it->mode == mode) {
                events.push_back(DeviceChange{false, it->infos.front().interfaceName});
                hidrawInUse.erase(it->hidraw);
                it = nodes.erase(it);
            } else {
                ++it;
            }
        }
        return true;
    }

    void Deliver(const std::vector<DeviceChange>& events) {
        std::function<void(const DeviceChange&)> h;
        {
            std::lock_guard<std::mutex> l(m);
            h = handler;
        }
        if (!h) return;
        for (const DeviceChange& e : events) h(e);
    }

    void Persist(KeyboardCore& kb) {
        if (kb.setup.stateFile.empty()) return;
        std::string text = kb.firmware.Save();
        if (text == kb.lastSaved) return;
        if (WriteFileAtomically(kb.setup.stateFile, text)) kb.lastSaved = std::move(text);
    }

    // The part every transfer shares: record it, count down a pending
    // unplug. Returns the listener to call after unlocking.
    std::function<void(const TransferRecord&)> Finish(KeyboardCore& kb, TransferRecord rec, int mode,
                                                      int interfaceNumber, std::vector<DeviceChange>& events,
                                                      TransferRecord& out) {
        rec.timeMicros = Clock().NowMicros();
        rec.mode = mode;
        rec.interfaceNumber = interfaceNumber;
        kb.trace.push_back(rec);
        if (kb.trace.size() > kTraceLimit) kb.trace.pop_front();
        out = rec;
        if (kb.detachAfter > 0 && --kb.detachAfter == 0) {
            DetachLocked(kb, kb.detachMode, events);
            kb.detachAfter = -1;
        }
        return kb.listener;
    }

    bool Present(const SimHandle& h) const {
        if (!h.kb) {
            for (const BusNode& n : nodes)
                if (!n.kb && n.path == h.path) return true;
            return false;
        }
        auto it = h.kb->attached.find(h.mode);
        return it != h.kb->attached.end() && it->second == h.generation;
    }
};

// --- Keyboard ------------------------------------------------------------

int SimulatedKeyboard::DeviceType() const {
    std::lock_guard<std::mutex> l(bus_->m);
    return kb_->setup.deviceType;
}

SimKeyboardSetup SimulatedKeyboard::Setup() const {
    std::lock_guard<std::mutex> l(bus_->m);
    return kb_->setup;
}

bool SimulatedKeyboard::Attach(int mode) {
    std::vector<DeviceChange> events;
    bool ok;
    {
        std::lock_guard<std::mutex> l(bus_->m);
        ok = bus_->AttachLocked(*kb_, mode, events);
    }
    bus_->Deliver(events);
    return ok;
}

bool SimulatedKeyboard::Detach(int mode) {
    std::vector<DeviceChange> events;
    bool ok;
    {
        std::lock_guard<std::mutex> l(bus_->m);
        ok = bus_->DetachLocked(*kb_, mode, events);
    }
    bus_->Deliver(events);
    return ok;
}

bool SimulatedKeyboard::IsAttached(int mode) const {
    std::lock_guard<std::mutex> l(bus_->m);
    return kb_->attached.count(mode) != 0;
}

void SimulatedKeyboard::FailNextTransfers(int n) {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->failNext = std::max(0, n);
}

void SimulatedKeyboard::QueueReadReplies(std::vector<ReadReply> replies) {
    std::lock_guard<std::mutex> l(bus_->m);
    for (ReadReply r : replies) kb_->replies.push_back(r);
}

void SimulatedKeyboard::DenyOpen(int mode, int interfaceNumber, bool deny) {
    std::lock_guard<std::mutex> l(bus_->m);
    if (deny)
        kb_->denied.insert({mode, interfaceNumber});
    else
        kb_->denied.erase({mode, interfaceNumber});
}

void SimulatedKeyboard::DetachAfterTransfers(int mode, int n) {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->detachMode = mode;
    kb_->detachAfter = n > 0 ? n : -1;
}

void SimulatedKeyboard::SetLatencyMs(int ms) {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->latencyMs = std::max(0, ms);
}

std::vector<TransferRecord> SimulatedKeyboard::Transfers() const {
    std::lock_guard<std::mutex> l(bus_->m);
    return std::vector<TransferRecord>(kb_->trace.begin(), kb_->trace.end());
}

void SimulatedKeyboard::ClearTransfers() {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->trace.clear();
}

void SimulatedKeyboard::SetTraceListener(std::function<void(const TransferRecord&)> listener) {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->listener = std::move(listener);
}

Firmware SimulatedKeyboard::FirmwareSnapshot() const {
    std::lock_guard<std::mutex> l(bus_->m);
    return kb_->firmware;
}

FirmwareMemory SimulatedKeyboard::Memory() const {
    std::lock_guard<std::mutex> l(bus_->m);
    return kb_->firmware.Memory();
}

void SimulatedKeyboard::SetFirmwareVersion(std::uint16_t version) {
    std::lock_guard<std::mutex> l(bus_->m);
    kb_->firmware.SetVersion(version);
    bus_->Persist(*kb_);
}

std::string SimulatedKeyboard::DescribeState() const {
    std::lock_guard<std::mutex> l(bus_->m);
    std::ostringstream o;
    o << "device_type " << kb_->setup.deviceType << "\n";
    o << "attached";
    for (const auto& [mode, generation] : kb_->attached) {
        (void)generation;
        o << " " << mode;
    }
    o << "\n" << kb_->firmware.Describe();
    return o.str();
}

bool SimulatedKeyboard::SaveState() const {
    std::lock_guard<std::mutex> l(bus_->m);
    if (kb_->setup.stateFile.empty()) return false;
    std::string text = kb_->firmware.Save();
    if (!WriteFileAtomically(kb_->setup.stateFile, text)) return false;
    kb_->lastSaved = std::move(text);
    return true;
}

// --- Bus -----------------------------------------------------------------

SimulatedBus::SimulatedBus(DeviceClock* clock) : core_(std::make_shared<BusCore>()) { core_->clock = clock; }

SimulatedBus::~SimulatedBus() = default;

std::shared_ptr<SimulatedKeyboard> SimulatedBus::AddKeyboard(SimKeyboardSetup setup) {
    auto kb = std::make_unique<KeyboardCore>();
    kb->setup = std::move(setup);
    kb->firmware.SetVersion(kDefaultFirmware);
    if (!kb->setup.stateFile.empty()) {
        std::ifstream in(kb->setup.stateFile, std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            // A file that is not a state leaves the factory state; it is
            // replaced at the first change.
            if (kb->firmware.Load(text.str())) kb->lastSaved = text.str();
        }
    }
    if (kb->setup.firmwareVersion) kb->firmware.SetVersion(*kb->setup.firmwareVersion);
    std::lock_guard<std::mutex> l(core_->m);
    core_->keyboards.push_back(std::move(kb));
    return std::shared_ptr<SimulatedKeyboard>(new SimulatedKeyboard(core_, core_->keyboards.back().get()));
}

void SimulatedBus::AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usagePage,
                                  std::uint16_t usage, int interfaceNumber) {
    std::lock_guard<std::mutex> l(core_->m);
    BusNode node;
    node.hidraw = core_->NextHidraw();
    node.path = "/sim/hidraw" + std::to_string(node.hidraw);
    node.interfaceNumber = interfaceNumber;
    HidDeviceInfo info;
    info.path = node.path;
    info.interfaceName = platform::HidInterfaceName(vendorId, productId, interfaceNumber,
                                                    "hidraw" + std::to_string(node.hidraw), false);
    info.vendorId = vendorId;
    info.productId = productId;
    info.usagePage = usagePage;
    info.usage = usage;
    info.interfaceNumber = interfaceNumber;
    node.infos.push_back(info);
    core_->nodes.push_back(node);
}

int SimulatedBus::OpenHandles() const {
    std::lock_guard<std::mutex> l(core_->m);
    int n = 0;
    for (const auto& h : core_->handles)
        if (!h->closed) ++n;
    return n;
}

int SimulatedBus::OpenedTotal() const {
    std::lock_guard<std::mutex> l(core_->m);
    return static_cast<int>(core_->handles.size());
}

long SimulatedBus::UseAfterClose() const {
    std::lock_guard<std::mutex> l(core_->m);
    return core_->useAfterClose;
}

std::vector<HidDeviceInfo> SimulatedBus::Enumerate() {
    std::lock_guard<std::mutex> l(core_->m);
    std::vector<HidDeviceInfo> out;
    for (const BusNode& n : core_->nodes)
        for (const HidDeviceInfo& i : n.infos) out.push_back(i);
    return out;
}

HidDevice* SimulatedBus::Open(const std::string& path) {
    std::lock_guard<std::mutex> l(core_->m);
    for (const BusNode& n : core_->nodes) {
        if (n.path != path) continue;
        if (n.kb && (n.kb->denied.count({n.mode, n.interfaceNumber}) || n.kb->denied.count({n.mode, -1}))) {
            core_->openError = kNotPermitted;
            return nullptr;
        }
        auto h = std::make_unique<SimHandle>();
        h->kb = n.kb;
        h->mode = n.mode;
        h->generation = n.generation;
        h->path = n.path;
        h->vendor = n.vendor;
        h->aux = n.aux;
        h->interfaceNumber = n.interfaceNumber;
        core_->handles.push_back(std::move(h));
        core_->openError.clear();
        return core_->handles.back().get();
    }
    core_->openError = kNoFile;
    return nullptr;
}

void SimulatedBus::Close(HidDevice* device) {
    if (!device) return;
    std::lock_guard<std::mutex> l(core_->m);
    auto* h = static_cast<SimHandle*>(device);
    if (h->closed) ++core_->useAfterClose;  // closed twice
    h->closed = true;
}

namespace {

enum class Op { Write, FeatureWrite, FeatureRead };

}  // namespace

// One transfer of any kind; the three entry points below only name it.
static int Transfer(BusCore& core, HidDevice* device, Op op, const std::uint8_t* in, std::uint8_t* io,
                    std::size_t length) {
    auto* h = static_cast<SimHandle*>(device);
    if (!h) return -1;
    int latency = 0;
    {
        std::lock_guard<std::mutex> l(core.m);
        if (h->kb) latency = h->kb->latencyMs;
    }
    if (latency > 0) core.Clock().SleepMs(latency);

    std::vector<DeviceChange> events;
    std::function<void(const TransferRecord&)> listener;
    TransferRecord done;
    int result = -1;
    {
        std::lock_guard<std::mutex> l(core.m);
        if (h->closed) {
            ++core.useAfterClose;
            h->error = kBadHandle;
            return -1;
        }
        if (!h->kb) {
            h->error = core.Present(*h) ? kIoError : kNoDevice;
            return -1;
        }
        KeyboardCore& kb = *h->kb;
        TransferRecord rec;
        const std::uint8_t* bytes = op == Op::FeatureRead ? io : in;
        if (op == Op::Write) {
            static constexpr std::uint8_t kMagic[4] = {0xBB, 0xAA, 0x99, 0x88};
            if (h->aux)
                rec.kind = TransferKind::Aux;
            else if (length >= 5 && std::memcmp(in + 1, kMagic, 4) == 0)
                rec.kind = TransferKind::Packet;
            else
                rec.kind = TransferKind::Out;
            rec.bytes.assign(bytes, bytes + length);
        } else if (op == Op::FeatureWrite) {
            rec.kind = TransferKind::Feature;
            rec.bytes.assign(bytes, bytes + length);
        } else {
            rec.kind = TransferKind::FeatureRead;
        }

        bool fail = false;
        std::wstring why;
        if (!core.Present(*h)) {
            fail = true;
            why = kNoDevice;
        } else if (!h->vendor) {
            // The ordinary keyboard collection takes no vendor commands.
            fail = true;
            why = kIoError;
        } else if (kb.failNext > 0) {
            --kb.failNext;
            fail = true;
            why = kIoError;
        }

        if (!fail && op == Op::FeatureRead) {
            ReadReply reply = ReadReply::Answer;
            if (!kb.replies.empty()) {
                reply = kb.replies.front();
                kb.replies.pop_front();
            }
            if (reply == ReadReply::Fail) {
                fail = true;
                why = kIoError;
            } else if (reply == ReadReply::WrongReportId) {
                static constexpr std::uint8_t kOther[8] = {0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0};
                const size_t n = std::min<std::size_t>(length, sizeof kOther);
                std::memcpy(io, kOther, n);
                rec.bytes.assign(io, io + n);
                result = static_cast<int>(n);
            } else {
                result = kb.firmware.FeatureRead(io, length);
                rec.bytes.assign(io, io + result);
            }
        } else if (!fail) {
            if (op == Op::Write)
                kb.firmware.Output(in, length, h->aux);
            else
                kb.firmware.FeatureWrite(in, length);
            core.Persist(kb);
            result = static_cast<int>(length);
        }

        if (fail) {
            h->error = why;
            rec.ok = false;
            if (op == Op::FeatureRead) rec.bytes.clear();
            result = -1;
        } else {
            h->error.clear();
        }
        listener = core.Finish(kb, std::move(rec), h->mode, h->interfaceNumber, events, done);
    }
    if (listener) listener(done);
    core.Deliver(events);
    return result;
}

int SimulatedBus::Write(HidDevice* device, const std::uint8_t* data, std::size_t length) {
    return Transfer(*core_, device, Op::Write, data, nullptr, length);
}

int SimulatedBus::SendFeatureReport(HidDevice* device, const std::uint8_t* data, std::size_t length) {
    return Transfer(*core_, device, Op::FeatureWrite, data, nullptr, length);
}

int SimulatedBus::GetFeatureReport(HidDevice* device, std::uint8_t* data, std::size_t length) {
    return Transfer(*core_, device, Op::FeatureRead, nullptr, data, length);
}

std::wstring SimulatedBus::ErrorText(HidDevice* device) {
    std::lock_guard<std::mutex> l(core_->m);
    if (!device) return core_->openError;
    return static_cast<SimHandle*>(device)->error;
}

bool SimulatedBus::StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) {
    std::lock_guard<std::mutex> l(core_->m);
    core_->handler = std::move(handler);
    return static_cast<bool>(core_->handler);
}

void SimulatedBus::StopDeviceNotifications() {
    std::lock_guard<std::mutex> l(core_->m);
    core_->handler = nullptr;
}

}  // namespace sim
