// The main window's side of the keyboard link: reading the device
// description and the layout, the device scan, and the device-change handler
// that turns interface arrivals and removals into refresh tasks.
//
// The main window owns one KeyboardLink and implements the observer (device
// strip, Home page labels, tabs, keyboard pictures), the database switch and
// the task sink. Threads: LoadDeviceDescription and OnDeviceChange run on the
// UI thread, ScanDevices on the worker; the mode records they share are
// guarded here, and observer calls are made outside that guard.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "link/device_description.h"
#include "link/device_manager.h"

// WM_DEVICECHANGE as the window procedure receives it.
inline constexpr UINT DBT_DEVICEARRIVAL = 0x8000;
inline constexpr UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr int DBT_DEVTYP_DEVICEINTERFACE = 5;

struct DeviceInterfaceHeader {
    int deviceType = DBT_DEVTYP_DEVICEINTERFACE;
    CString name;  // interface name, HID#VID_1209&PID_0001&MI_01#HIDRAW3
};

// Appends a task code to the main window's worker queue.
class ITaskSink {
public:
    virtual ~ITaskSink() = default;
    virtual void PushTask(int code) = 0;
};

class KeyboardLink {
public:
    // Worker tasks queued by the device-change handler.
    static constexpr int kTaskDeviceArrived = 2;
    static constexpr int kTaskDeviceRemoved = 3;

    explicit KeyboardLink(DeviceManager& manager = DeviceManager::Instance());
    ~KeyboardLink();
    KeyboardLink(const KeyboardLink&) = delete;
    KeyboardLink& operator=(const KeyboardLink&) = delete;

    // Each may be null (nothing is shown, switched or queued then); they
    // must outlive this object.
    void SetObserver(IDeviceDescriptionObserver* observer) { observer_ = observer; }
    void SetDatabaseSwitch(IDatabaseSwitch* store) { database_ = store; }
    void SetTaskSink(ITaskSink* tasks) { tasks_ = tasks; }
    // The profile number the layout's light modes are given.
    void SetCurrentProfile(int profile) { currentProfile_ = profile; }
    // Where config.xml and layouts\ are, without a trailing separator; the
    // program folder unless set.
    void SetProgramFolder(const CString& folderNoSlash) { folder_ = folderNoSlash; }
    // How device changes reach OnDeviceChange: the main window posts them to
    // its own window so they are handled on the UI thread. Unset, the
    // notifying thread calls OnDeviceChange itself.
    void SetDeviceChangeDelivery(std::function<void(const DeviceChange&)> deliver) { deliver_ = std::move(deliver); }

    // config.xml into the lists and the identity, the device strip, the
    // manager's targets; then the layout of device type 201 and the device
    // notifications.
    void LoadDeviceDescription();
    // The keyboard of that type: database switch, then its layout file. A
    // file that fails to load leaves the previous layout as it was.
    void LoadLayout(int deviceType);
    // The device scan of the connection refresh tasks.
    void ScanDevices();
    // Starts the bus's notifications towards OnDeviceChange (through the
    // delivery, when set).
    bool RegisterDeviceNotifications();
    // Arrival: queues task 2 for the first mode whose pattern is in the name.
    // Removal: for the first connected mode whose pattern is in the name,
    // clears connected and queues task 3. Bluetooth HID service names are
    // ignored either way. Always 0.
    LRESULT OnDeviceChange(WPARAM event, const DeviceInterfaceHeader* header);
    // The two lists are emptied when the main window goes away.
    void ClearDeviceLists();

    // The event and header a bus notification stands for.
    static WPARAM EventOf(const DeviceChange& change);
    static DeviceInterfaceHeader HeaderOf(const DeviceChange& change);

    std::vector<DeviceDescription> Keyboards() const;
    std::vector<DeviceDescription> Modes() const;
    ProgramIdentity Identity() const;
    // Replaced only by LoadLayout; the main window does not run a layout
    // load while an upload reads it.
    const KeyboardLayout& Layout() const { return layout_; }
    KeyboardLayout& Layout() { return layout_; }
    bool AnyInterfaceOpen() const;
    bool DeviceMatched() const;
    DeviceManager& Manager() { return manager_; }

private:
    CString Folder() const;

    DeviceManager& manager_;
    IDeviceDescriptionObserver* observer_ = nullptr;
    IDatabaseSwitch* database_ = nullptr;
    ITaskSink* tasks_ = nullptr;
    int currentProfile_ = 0;
    CString folder_;
    std::function<void(const DeviceChange&)> deliver_;
    bool notificationsRegistered_ = false;

    mutable std::mutex lock_;  // the lists, the identity and the two flags
    std::vector<DeviceDescription> keyboards_;
    std::vector<DeviceDescription> modes_;
    ProgramIdentity identity_;
    bool anyInterfaceOpen_ = false;
    bool deviceMatched_ = false;

    KeyboardLayout layout_;
};
