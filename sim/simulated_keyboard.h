// A simulated HID bus with simulated keyboards on it, behind the same seam
// as the real bus. A keyboard shows, for each connection that is attached,
// the interfaces a real one shows:
//   cable            MI_00 keyboard collection (page 1, usage 6)
//                    MI_01 vendor collection (0xFF01/1): commands
//                    MI_03 vendor collection: the auxiliary channel
//   receiver         MI_00 keyboard collection, MI_01 vendor collection
//   Bluetooth        one node with both collections, no interface number,
//                    named with the HID-over-GATT service
// Every transfer reaches the firmware model (firmware.h) and is recorded with
// the device clock's time. Faults can be injected: failed transfers, scripted
// read answers, interfaces that refuse to open, slow answers, and
// connections that disappear and come back with their removal and arrival
// events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/device_clock.h"
#include "link/hid_backend.h"
#include "sim/firmware.h"
#include "sim/trace.h"

namespace sim {

struct SimConnection {
    int mode = 0;  // 0 cable, 1 and 2 wireless
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool bluetooth = false;
};

struct SimKeyboardSetup {
    int deviceType = 201;
    std::vector<SimConnection> connections;
    // Overrides the version a state file holds; 0x0105 when neither gives one.
    std::optional<std::uint16_t> firmwareVersion;
    // Where the keyboard's memory is kept between runs; none when empty.
    std::string stateFile;
};

enum class ReadReply {
    Answer,         // the firmware's answer
    Fail,           // the read fails
    WrongReportId,  // a report that does not start with 7 (07 is expected)
};

struct BusCore;
struct KeyboardCore;

class SimulatedKeyboard {
public:
    int DeviceType() const;
    SimKeyboardSetup Setup() const;

    // Plugging in and out. Attach fails for a mode the keyboard has no
    // connection for or that is attached already. Events go to the bus's
    // notification handler; handles to a detached connection fail from then
    // on, also after it is attached again.
    bool Attach(int mode);
    bool Detach(int mode);
    bool IsAttached(int mode) const;

    // --- Faults ---
    // The next n transfers of any kind fail.
    void FailNextTransfers(int n);
    // Answers for the coming feature reads, one each, in order; reads beyond
    // the script are answered.
    void QueueReadReplies(std::vector<ReadReply> replies);
    // Opening this interface of this connection fails (-1: every interface).
    void DenyOpen(int mode, int interfaceNumber, bool deny = true);
    // After n more transfers the connection goes away, with its removal
    // events, as if unplugged in the middle of a command.
    void DetachAfterTransfers(int mode, int n);
    // Every transfer takes this long, slept on the device clock.
    void SetLatencyMs(int ms);

    // --- Record ---
    std::vector<TransferRecord> Transfers() const;
    void ClearTransfers();
    // Called for every transfer as it happens, outside the bus's lock.
    void SetTraceListener(std::function<void(const TransferRecord&)> listener);

    // --- Firmware ---
    // A copy of the firmware model (memory, version, decoders).
    Firmware FirmwareSnapshot() const;
    FirmwareMemory Memory() const;
    void SetFirmwareVersion(std::uint16_t version);
    // device_type, connections attached, then the firmware's description.
    std::string DescribeState() const;
    // The state file is written after every change of the memory; this
    // writes it now. False when there is none or it cannot be written.
    bool SaveState() const;

private:
    friend class SimulatedBus;
    SimulatedKeyboard(std::shared_ptr<BusCore> bus, KeyboardCore* keyboard) : bus_(std::move(bus)), kb_(keyboard) {}
    std::shared_ptr<BusCore> bus_;
    KeyboardCore* kb_;  // owned by the bus core
};

class SimulatedBus : public HidBackend {
public:
    // The clock stamps the record and paces latency; DefaultDeviceClock()
    // when null. It must outlive the bus.
    explicit SimulatedBus(DeviceClock* clock = nullptr);
    ~SimulatedBus() override;

    // A keyboard on this bus, none of its connections attached yet. Its
    // memory comes from the state file when that holds a state.
    std::shared_ptr<SimulatedKeyboard> AddKeyboard(SimKeyboardSetup setup);
    // Some other HID interface, always present (a mouse, another vendor's
    // keyboard), so that discovery has something to pass over.
    void AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usagePage,
                        std::uint16_t usage, int interfaceNumber);

    // Handles opened and not closed; every successful open so far;
    // transfers tried on closed handles.
    int OpenHandles() const;
    int OpenedTotal() const;
    long UseAfterClose() const;

    std::vector<HidDeviceInfo> Enumerate() override;
    HidDevice* Open(const std::string& path) override;
    void Close(HidDevice* device) override;
    int Write(HidDevice* device, const std::uint8_t* data, std::size_t length) override;
    int SendFeatureReport(HidDevice* device, const std::uint8_t* data, std::size_t length) override;
    int GetFeatureReport(HidDevice* device, std::uint8_t* data, std::size_t length) override;
    std::wstring ErrorText(HidDevice* device) override;
    bool StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) override;
    void StopDeviceNotifications() override;

private:
    std::shared_ptr<BusCore> core_;
};

}  // namespace sim
