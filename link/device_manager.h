// The connection to the keyboard: which of the machine's HID interfaces
// belong to a described keyboard, which one carries commands, and the seven
// report operations every command goes through.
//
// Report sizes on the wire:
//   feature report   8 bytes: report id 7, command byte, 6 argument bytes
//   output report   65 bytes: report id 0, 64 data bytes (WriteReport,
//                   WriteAuxReport, WritePacket)
//
// Threads: the report operations may run on any thread at the same time (the
// worker, the UI thread, the lighting streams). A scan (CloseAll, Scan,
// Rescan, SetBackend) waits until the operations in flight have finished and
// holds new ones back until it is done, so no transfer ever reaches an
// interface that the scan has closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/device_clock.h"
#include "link/hid_backend.h"
#include "tavri/types.h"

// What the description asks the manager to look for (one per mode element).
struct Target {
    int vendorId = 0;
    int productId = 0;
    CString productName;
    int deviceType = 0;
    int mode = 0;
    CString interfacePattern;  // kept for the device-change path; the manager does not use it
};

// An interface the last scan opened, as callers see it (the device handle
// stays inside the manager).
struct InterfaceInfo {
    int index = 0;  // position in the list when it was added
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string path;
    // Always empty: the program's enumeration asks no strings of the devices,
    // so the product name match compares against an empty string.
    CString productString;
    std::uint16_t releaseNumber = 0;
    int deviceType = 0;  // of the first target with the same vendor and product id, 0 if none
    int mode = 0;
    int isWired = 0;  // 1 when mode is 0
    std::string interfaceName;
};

// The vendor-defined collection that carries commands.
inline constexpr std::uint16_t kVendorUsagePage = 0xFF01;
inline constexpr std::uint16_t kVendorUsage = 0x0001;

class DeviceManager {
public:
    // The process-wide manager, created on first use over the default backend
    // (the real bus unless a simulated one was installed).
    static DeviceManager& Instance();

    // A manager of its own, for tests and tools; the clock defaults to
    // DefaultDeviceClock().
    explicit DeviceManager(std::shared_ptr<HidBackend> backend, DeviceClock* clock = nullptr);
    ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // Closes everything on the old bus, then uses the new one; device
    // notifications, when started, move along.
    void SetBackend(std::shared_ptr<HidBackend> backend);
    std::shared_ptr<HidBackend> Backend() const;
    // The clock must outlive the manager.
    void SetClock(DeviceClock* clock);
    DeviceClock& Clock() const;

    // --- Discovery -------------------------------------------------------
    void AddTarget(int vendorId, int productId, const CString& productName, int deviceType, int mode,
                   const CString& interfacePattern);
    std::vector<Target> Targets() const;

    // Closes and forgets every open interface and the auxiliary channel;
    // clears open.
    void CloseAll();
    // Enumerates the bus and opens every interface of a target: vendor
    // collections are kept (the one on interface 3 as the auxiliary channel),
    // any other collection is closed again at once.
    void Scan();
    // The manager's part of the device scan in one step: CloseAll, Scan, set
    // open, current device type 0, cached command channel dropped.
    void Rescan();

    // False when nothing is open; else the open interfaces of the current
    // device type (all when it is 0) and true.
    bool CollectInterfaces(std::vector<InterfaceInfo>& list) const;
    // Index of the first open interface with these ids and mode whose product
    // string matches (any when productName is empty), or -1.
    int FindInterface(int vendorId, int productId, const CString& productName, int mode) const;
    // Among the interfaces of the current device type: 0 when one has mode 0,
    // else 2, else 1, else -1.
    int GetConnectionMode() const;
    // The interface commands go to: the first of the current device type with
    // mode 0, else mode 1, else mode 2; cached until dropped. The pointer
    // only identifies the channel and is void after the next scan; transfers
    // go through the report operations.
    HidDevice* CommandChannel();
    HidDevice* AuxChannel() const;

    bool IsOpen() const { return open_.load(); }
    int CurrentDeviceType() const { return currentDeviceType_.load(); }
    // Also drops the cached command channel.
    void SetCurrentDeviceType(int deviceType);
    void DropCommandChannel();
    std::vector<InterfaceInfo> Interfaces() const;
    // The last interface error recorded by a transfer (up to the first line
    // break), empty when none.
    CString LastError() const;

    // --- Report operations -----------------------------------------------
    // Each returns false at once, sending nothing and sleeping nothing, when
    // the manager is not open, when its channel is none, or when the buffer
    // is shorter than the operation needs.
    //
    // One feature write of buf[0..7]; true when the report was accepted.
    bool SendFeature(std::span<const std::uint8_t> buf);
    // Waits 16 ms, then as SendFeature; always false.
    bool SendFeatureAfterDelay(std::span<const std::uint8_t> buf);
    // buf[0..7] is the request; four times (wait 16 ms, read feature report
    // 7); bytes 1..7 of read r land in buf[7r..7r+6], a failed read leaves
    // them. True once the channel exists.
    bool QueryFeatureTable(std::span<std::uint8_t> buf);
    // Request 07 FD after 16 ms, read after 16 ms, once more after 16 ms when
    // the answer does not start with report id 7. version = byte 1 * 256 +
    // byte 2. False only when the request fails.
    bool ReadFirmwareVersion(int& version);
    // buf[0..64] as one output report; on failure wait 10 ms and write once
    // more. True when a write succeeded.
    bool WriteReport(std::span<const std::uint8_t> buf);
    // As WriteReport on the interface-3 channel; true once that channel exists.
    bool WriteAuxReport(std::span<const std::uint8_t> buf);
    // 0 followed by data[0..63]; on failure wait 32 ms and write once more.
    bool WritePacket(std::span<const std::uint8_t> data);

    // --- Notifications ---------------------------------------------------
    bool StartDeviceNotifications(std::function<void(const DeviceChange&)> handler);
    void StopDeviceNotifications();

private:
    struct Channel;
    struct OpenInterface;

    // A shared/exclusive gate that lets a waiting scan in ahead of new
    // report operations, so a stream of short transfers cannot starve it.
    class Gate {
    public:
        void LockShared();
        void UnlockShared();
        void Lock();
        void Unlock();

    private:
        std::mutex m_;
        std::condition_variable cv_;
        int readers_ = 0;
        int writersWaiting_ = 0;
        bool writer_ = false;
    };
    struct SharedHold;
    struct ExclusiveHold;

    void CloseAllLocked();
    void ScanLocked();
    bool Matches(const InterfaceInfo& iface) const;
    bool TargetMatch(const HidDeviceInfo& info) const;
    Channel* CommandChannelLocked();
    bool FeatureWrite(Channel& ch, const std::uint8_t* report8);
    int FeatureRead(Channel& ch, std::uint8_t* report8);
    int OutputWrite(Channel& ch, const std::uint8_t* report65);
    void RecordError(Channel& ch);

    mutable Gate gate_;
    std::shared_ptr<HidBackend> backend_;
    std::atomic<DeviceClock*> clock_;
    std::atomic<bool> open_{false};
    std::atomic<int> currentDeviceType_{0};

    mutable std::mutex targetsLock_;
    std::vector<Target> targets_;

    // Changed only under the exclusive gate.
    std::vector<std::unique_ptr<OpenInterface>> interfaces_;
    std::unique_ptr<Channel> aux_;

    std::mutex cacheLock_;
    Channel* cachedCommand_ = nullptr;

    mutable std::mutex errorLock_;
    CString lastError_;

    std::mutex notifyLock_;
    std::function<void(const DeviceChange&)> notifyHandler_;
};

// The bus the process-wide manager uses: the real one unless something else
// was installed. Setting it also moves an existing process-wide manager over.
std::shared_ptr<HidBackend> DefaultHidBackend();
void SetDefaultHidBackend(std::shared_ptr<HidBackend> backend);
