// Discovery and the report transport against the simulated keyboard, on a
// manual clock: the waits are checked as recorded time, not slept. Only the
// last test sleeps, on the real clock the waits use outside tests.
#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/device_manager.h"
#include "recording_observer.h"
#include "sim/simulated_keyboard.h"

using linktest::U8;
using sim::ReadReply;
using sim::TransferKind;
using sim::TransferRecord;

namespace {

constexpr std::uint16_t kVid = 0x1209;

struct Rig {
    ManualDeviceClock clock;
    std::shared_ptr<sim::SimulatedBus> bus = std::make_shared<sim::SimulatedBus>(&clock);
    DeviceManager manager{bus, &clock};
    std::shared_ptr<sim::SimulatedKeyboard> kb;

    Rig() {
        sim::SimKeyboardSetup setup;
        setup.deviceType = 201;
        setup.connections = {{0, kVid, 1, false}, {1, kVid, 2, false}, {2, kVid, 3, true}};
        kb = bus->AddKeyboard(setup);
        manager.AddTarget(kVid, 1, L"", 201, 0, L"HID#VID_1209&PID_0001&MI_01");
        manager.AddTarget(kVid, 2, L"", 201, 1, L"HID#VID_1209&PID_0002&MI_01");
        manager.AddTarget(kVid, 3, L"", 201, 2, L"{00001812-0000-1000-8000-00805F9B34FB}");
    }
    // What the main window does around a scan.
    void Scan() {
        manager.Rescan();
        manager.SetCurrentDeviceType(201);
    }
    std::vector<TransferRecord> Take() {
        auto t = kb->Transfers();
        kb->ClearTransfers();
        return t;
    }
};

std::vector<std::uint8_t> Feature(std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> v(bytes);
    v.resize(8, 0);
    return v;
}

std::vector<std::uint8_t> Output(std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> v(bytes);
    v.resize(65, 0);
    return v;
}

// Microseconds between consecutive transfers.
std::vector<std::int64_t> Gaps(const std::vector<TransferRecord>& t) {
    std::vector<std::int64_t> g;
    for (size_t i = 1; i < t.size(); ++i) g.push_back(t[i].timeMicros - t[i - 1].timeMicros);
    return g;
}

}  // namespace

TEST(Scan, KeepsTheVendorCollectionsAndClosesTheKeyboardCollectionAgain) {
    Rig r;
    r.bus->AddOtherDevice(0x046D, 0xC077, 0x0001, 0x0002, 0);  // someone's mouse
    r.bus->AddOtherDevice(kVid, 0x0009, 0xFF01, 0x0001, 1);    // our vendor, no target
    ASSERT_TRUE(r.kb->Attach(0));
    r.Scan();

    // Opened: the keyboard collection, the command interface, interface 3.
    EXPECT_EQ(r.bus->OpenedTotal(), 3);
    EXPECT_EQ(r.bus->OpenHandles(), 2);
    const std::vector<InterfaceInfo> list = r.manager.Interfaces();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].index, 0);
    EXPECT_EQ(list[0].vendorId, kVid);
    EXPECT_EQ(list[0].productId, 1);
    EXPECT_EQ(list[0].deviceType, 201);
    EXPECT_EQ(list[0].mode, 0);
    EXPECT_EQ(list[0].isWired, 1);
    EXPECT_TRUE(list[0].productString.empty());
    EXPECT_EQ(list[0].interfaceName.find("&MI_01#"), std::string("HID#VID_1209&PID_0001").size());
    EXPECT_NE(r.manager.AuxChannel(), nullptr);
    EXPECT_NE(r.manager.CommandChannel(), r.manager.AuxChannel());
    EXPECT_TRUE(r.manager.IsOpen());

    // Every scan starts from nothing: no handle piles up.
    r.Scan();
    EXPECT_EQ(r.bus->OpenHandles(), 2);
    r.manager.CloseAll();
    EXPECT_EQ(r.bus->OpenHandles(), 0);
    EXPECT_FALSE(r.manager.IsOpen());
    EXPECT_EQ(r.manager.AuxChannel(), nullptr);

    // A scan on its own opens without setting the open flag; CloseAll still
    // closes what it opened.
    r.manager.Scan();
    EXPECT_FALSE(r.manager.IsOpen());
    EXPECT_EQ(r.bus->OpenHandles(), 2);
    r.manager.CloseAll();
    EXPECT_EQ(r.bus->OpenHandles(), 0);
}

TEST(Scan, CommandChannelAndConnectionModeFollowTheirOwnOrders) {
    struct Case {
        std::vector<int> attach;  // in this order
        int channelMode;          // -1: no channel
        int connectionMode;
    };
    const Case cases[] = {
        {{1, 0}, 0, 0},  // cable and receiver: the cable, whatever the bus order
        {{2, 1}, 1, 2},  // both wireless modes: commands to 1, the mode reads 2
        {{1}, 1, 1},
        {{2}, 2, 2},
        {{}, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.attach));
        Rig r;
        for (int m : c.attach) r.kb->Attach(m);
        r.Scan();
        EXPECT_EQ(r.manager.GetConnectionMode(), c.connectionMode);
        const bool sent = r.manager.SendFeature(Feature({7, 0x23, 0x45, 0x67, 0x89, 1, 0, 9}));
        EXPECT_EQ(sent, c.channelMode >= 0);
        const auto t = r.Take();
        if (c.channelMode < 0) {
            EXPECT_EQ(r.manager.CommandChannel(), nullptr);
            EXPECT_TRUE(t.empty());
        } else {
            ASSERT_EQ(t.size(), 1u);
            EXPECT_EQ(t[0].mode, c.channelMode);
        }
    }
}

TEST(Scan, DeviceTypeSelectsTheInterfacesAndProductNamesRestrictTheMatch) {
    Rig r;
    sim::SimKeyboardSetup other;
    other.deviceType = 101;
    other.connections = {{0, kVid, 4, false}};
    auto k3 = r.bus->AddKeyboard(other);
    r.manager.AddTarget(kVid, 4, L"", 101, 0, L"PID_0004");
    // A target with a product name never matches: no string is compared but
    // the empty one.
    r.manager.AddTarget(kVid, 5, L"Named", 150, 0, L"PID_0005");
    sim::SimKeyboardSetup named;
    named.deviceType = 150;
    named.connections = {{0, kVid, 5, false}};
    auto k5 = r.bus->AddKeyboard(named);
    r.kb->Attach(1);
    k3->Attach(0);
    k5->Attach(0);
    r.manager.Rescan();

    std::vector<InterfaceInfo> all;
    ASSERT_TRUE(r.manager.CollectInterfaces(all));  // type 0: all of them
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(r.manager.GetConnectionMode(), 0);

    r.manager.SetCurrentDeviceType(201);
    std::vector<InterfaceInfo> ours;
    ASSERT_TRUE(r.manager.CollectInterfaces(ours));
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours[0].productId, 2);
    EXPECT_EQ(r.manager.GetConnectionMode(), 1);

    r.manager.SetCurrentDeviceType(101);
    r.manager.SendFeature(Feature({7, 0xF0, 0xAA}));
    EXPECT_EQ(k3->Memory().resets, 1);
    EXPECT_EQ(r.kb->Memory().resets, 0);

    r.manager.SetCurrentDeviceType(300);
    std::vector<InterfaceInfo> none;
    EXPECT_TRUE(r.manager.CollectInterfaces(none));  // something is open, just not of that type
    EXPECT_TRUE(none.empty());

    EXPECT_EQ(r.manager.FindInterface(kVid, 4, L"", 0), 1);
    EXPECT_EQ(r.manager.FindInterface(kVid, 4, L"Anything", 0), -1);
    EXPECT_EQ(r.manager.FindInterface(kVid, 4, L"", 1), -1);
    EXPECT_EQ(r.manager.FindInterface(kVid, 5, L"", 0), -1);
}

TEST(Scan, AnInterfaceThatCannotBeOpenedIsSkipped) {
    Rig r;
    r.kb->Attach(0);
    r.kb->DenyOpen(0, 1);
    r.Scan();
    EXPECT_TRUE(r.manager.Interfaces().empty());
    EXPECT_NE(r.manager.AuxChannel(), nullptr);
    EXPECT_EQ(r.manager.GetConnectionMode(), -1);
    EXPECT_FALSE(r.manager.WriteReport(Output({0, 0x88, 0, 3})));
    EXPECT_TRUE(r.manager.WriteAuxReport(Output({0, 0xF1})));
}

TEST(Transport, WithoutAKeyboardEveryOperationFailsAtOnceAndSleepsNothing) {
    for (bool scanned : {false, true}) {
        SCOPED_TRACE(scanned);
        Rig r;
        if (scanned) r.Scan();  // open, but nothing there
        std::uint8_t table[28] = {7, 0xFB, 1};
        int version = -1;
        EXPECT_FALSE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
        EXPECT_FALSE(r.manager.SendFeatureAfterDelay(Feature({7, 0xF0, 0xAA})));
        EXPECT_FALSE(r.manager.QueryFeatureTable(table));
        EXPECT_FALSE(r.manager.ReadFirmwareVersion(version));
        EXPECT_FALSE(r.manager.WriteReport(Output({0, 0x88})));
        EXPECT_FALSE(r.manager.WriteAuxReport(Output({0, 0xF1})));
        EXPECT_FALSE(r.manager.WritePacket(std::vector<std::uint8_t>(64, 0)));
        EXPECT_EQ(version, -1);
        EXPECT_EQ(r.clock.SleptMs(), 0);
        EXPECT_TRUE(r.kb->Transfers().empty());
    }
    // A keyboard present but the interfaces closed again is the same.
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    r.manager.CloseAll();
    EXPECT_FALSE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
    EXPECT_TRUE(r.kb->Transfers().empty());
}

TEST(Transport, BuffersShorterThanTheReportAreRefused) {
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    std::uint8_t shortBuf[7] = {7, 0xF0, 0xAA};
    std::uint8_t table[27] = {};
    std::uint8_t out[64] = {};
    std::uint8_t packet[63] = {};
    EXPECT_FALSE(r.manager.SendFeature(shortBuf));
    EXPECT_FALSE(r.manager.QueryFeatureTable(table));
    EXPECT_FALSE(r.manager.WriteReport(out));
    EXPECT_FALSE(r.manager.WriteAuxReport(out));
    EXPECT_FALSE(r.manager.WritePacket(packet));
    EXPECT_TRUE(r.kb->Transfers().empty());
}

TEST(Transport, FeatureWritesAndTheirWaits) {
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    const std::int64_t start = r.clock.NowMicros();
    // Only the first eight bytes of a longer buffer go out.
    std::vector<std::uint8_t> longer = {7, 0xFA, 1, 3, 0x2C, 1, 5, 1, 0xEE, 0xEE};
    EXPECT_TRUE(r.manager.SendFeature(longer));
    EXPECT_FALSE(r.manager.SendFeatureAfterDelay(Feature({7, 0xF0, 0xAA})));  // accepted, still false
    const auto t = r.Take();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(sim::FormatTransfer(t[0]), "W feature 07 FA 01 03 2C 01 05 01");
    EXPECT_EQ(sim::FormatTransfer(t[1]), "W feature 07 F0 AA 00 00 00 00 00");
    EXPECT_EQ(t[0].timeMicros, start);
    EXPECT_EQ(t[1].timeMicros - t[0].timeMicros, 16000);
    EXPECT_EQ(r.kb->Memory().resets, 1);

    r.kb->FailNextTransfers(1);
    EXPECT_FALSE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
    EXPECT_EQ(U8(r.manager.LastError()), "Input/output error");
    EXPECT_EQ(r.Take().size(), 1u);  // no retry
}

TEST(Transport, QueryFeatureTableReadsFourTimesAfter16Ms) {
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    r.manager.SendFeature(Feature({7, 0xFA, 1, 3, 0x2C, 1, 5, 1}));  // remap slot 3 owned by 0x2C
    r.Take();
    std::uint8_t buf[28] = {7, 0xFB, 1, 0, 0, 0, 0, 0};
    ASSERT_TRUE(r.manager.QueryFeatureTable(buf));
    const auto t = r.Take();
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(sim::FormatTransfer(t[0]), "W feature 07 FB 01 00 00 00 00 00");
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(t[static_cast<size_t>(i)].kind, TransferKind::FeatureRead);
    EXPECT_EQ(Gaps(t), (std::vector<std::int64_t>{16000, 16000, 16000, 16000}));
    const auto expected = r.kb->FirmwareSnapshot().SlotTable();
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 28), std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(buf[16], 0x2C);
}

TEST(Transport, QueryFeatureTableKeepsWhatFailedReadsDidNotAnswer) {
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    r.manager.SendFeature(Feature({7, 0xF1, 1, 2, 0x1E, 1}));         // macro slot 2: byte 2
    r.manager.SendFeature(Feature({7, 0xFA, 1, 10, 0x2C, 1, 5, 1}));  // remap slot 10: byte 23

    // Only the first two reads answered: bytes 0..13 from the keyboard.
    std::uint8_t buf[28];
    std::fill(buf, buf + 28, 0xAA);
    std::copy_n(Feature({7, 0xFB, 1}).begin(), 8, buf);
    r.kb->QueueReadReplies({ReadReply::Answer, ReadReply::Answer, ReadReply::Fail, ReadReply::Fail});
    ASSERT_TRUE(r.manager.QueryFeatureTable(buf));
    const auto table = r.kb->FirmwareSnapshot().SlotTable();
    ASSERT_EQ(table[2], 0x1E);
    ASSERT_EQ(table[23], 0x2C);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(buf[i], table[static_cast<size_t>(i)]) << i;
    for (int i = 14; i < 28; ++i) EXPECT_EQ(buf[i], 0xAA) << i;

    // A failed first read leaves the request's first seven bytes.
    std::uint8_t again[28] = {7, 0xFB, 1, 0x11, 0x22, 0x33, 0x44, 0x55};
    r.kb->QueueReadReplies({ReadReply::Fail});
    ASSERT_TRUE(r.manager.QueryFeatureTable(again));
    EXPECT_EQ(std::vector<std::uint8_t>(again, again + 7),
              (std::vector<std::uint8_t>{7, 0xFB, 1, 0x11, 0x22, 0x33, 0x44}));
}

TEST(Transport, ReadFirmwareVersion) {
    struct Case {
        const char* name;
        std::vector<ReadReply> replies;
        int reads;
        int version;
    };
    const Case cases[] = {
        {"answered", {}, 1, 0x0105},
        {"first read not report 7: the second buffer counts", {ReadReply::WrongReportId}, 2, 0x0105},
        {"first read fails: the request stays, which starts with 7", {ReadReply::Fail}, 1, 0xFD00},
        {"both reads fail", {ReadReply::WrongReportId, ReadReply::Fail}, 2, 0xFD00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.kb->Attach(0);
        r.Scan();
        r.kb->QueueReadReplies(c.replies);
        const std::int64_t start = r.clock.NowMicros();
        int version = -1;
        ASSERT_TRUE(r.manager.ReadFirmwareVersion(version));
        EXPECT_EQ(version, c.version);
        const auto t = r.Take();
        ASSERT_EQ(t.size(), static_cast<size_t>(1 + c.reads));
        EXPECT_EQ(sim::FormatTransfer(t[0]), "W feature 07 FD 00 00 00 00 00 00");
        EXPECT_EQ(t[0].timeMicros - start, 16000);
        for (std::int64_t gap : Gaps(t)) EXPECT_EQ(gap, 16000);
    }
    Rig r;
    r.kb->Attach(0);
    r.Scan();
    r.kb->FailNextTransfers(1);
    int version = -1;
    EXPECT_FALSE(r.manager.ReadFirmwareVersion(version));
    EXPECT_EQ(version, -1);
    EXPECT_EQ(r.Take().size(), 1u);
}

TEST(Transport, OutputWritesRetryOnceAfterTheirWait) {
    struct Case {
        const char* op;
        int failures;
        bool result;
        int attempts;
        std::int64_t gap;
    };
    const Case cases[] = {
        {"report", 0, true, 1, 0},   {"report", 1, true, 2, 10000},  {"report", 2, false, 2, 10000},
        {"packet", 0, true, 1, 0},   {"packet", 1, true, 2, 32000},  {"packet", 2, false, 2, 32000},
        {"aux", 0, true, 1, 0},      {"aux", 2, true, 2, 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " failing " + std::to_string(c.failures));
        Rig r;
        r.kb->Attach(0);
        r.Scan();
        r.kb->FailNextTransfers(c.failures);
        bool result = false;
        const std::string op = c.op;
        if (op == "report") result = r.manager.WriteReport(Output({0, 0x88, 0, 3}));
        if (op == "aux") result = r.manager.WriteAuxReport(Output({0, 0xF1, 60}));
        if (op == "packet") {
            std::vector<std::uint8_t> data(64, 0);
            data[0] = 0xBB, data[1] = 0xAA, data[2] = 0x99, data[3] = 0x88, data[4] = 0xAA, data[5] = 2;
            result = r.manager.WritePacket(data);
        }
        EXPECT_EQ(result, c.result);
        const auto t = r.Take();
        ASSERT_EQ(t.size(), static_cast<size_t>(c.attempts));
        EXPECT_EQ(t[0].bytes.size(), 65u);
        EXPECT_EQ(t[0].bytes[0], 0);  // report id first
        if (c.attempts == 2) {
            EXPECT_EQ(t[1].timeMicros - t[0].timeMicros, c.gap);
            EXPECT_EQ(t[0].bytes, t[1].bytes);
        }
        EXPECT_EQ(r.clock.SleptMs(), c.gap / 1000);
        const TransferKind kind = op == "aux" ? TransferKind::Aux : op == "packet" ? TransferKind::Packet : TransferKind::Out;
        EXPECT_EQ(t[0].kind, kind);
    }
    // Over the receiver there is no interface 3.
    Rig r;
    r.kb->Attach(1);
    r.Scan();
    EXPECT_FALSE(r.manager.WriteAuxReport(Output({0, 0xF1})));
}

TEST(Transport, AKeyboardThatGoesAwayMidTransferFailsTheRestAndReportsItsRemoval) {
    Rig r;
    std::vector<DeviceChange> changes;
    r.manager.StartDeviceNotifications([&](const DeviceChange& c) { changes.push_back(c); });
    r.kb->Attach(0);
    changes.clear();
    r.Scan();
    r.kb->DetachAfterTransfers(0, 2);  // the request and one read go through
    std::uint8_t buf[28] = {7, 0xFB, 1};
    std::fill(buf + 8, buf + 28, 0x5A);
    ASSERT_TRUE(r.manager.QueryFeatureTable(buf));
    EXPECT_EQ(buf[0], 0);  // slot table byte 0, from the one answered read
    for (int i = 7; i < 28; ++i) EXPECT_EQ(buf[i], i < 8 ? 0 : 0x5A) << i;
    const auto t = r.Take();
    ASSERT_EQ(t.size(), 5u);
    EXPECT_TRUE(t[1].ok);
    EXPECT_FALSE(t[2].ok);
    EXPECT_EQ(U8(r.manager.LastError()), "No such device");
    EXPECT_FALSE(r.manager.WriteReport(Output({0, 0x88, 0, 1})));
    EXPECT_EQ(changes.size(), 3u);  // one removal per node
    for (const DeviceChange& c : changes) EXPECT_FALSE(c.arrival);

    // Plugged in again, only a new scan reaches it.
    r.kb->Attach(0);
    EXPECT_FALSE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
    r.Scan();
    EXPECT_TRUE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
    EXPECT_EQ(r.bus->UseAfterClose(), 0);
}

TEST(Transport, ScansNeverLetATransferReachAClosedInterface) {
    // Streams of reports from two threads while a third rescans: every
    // transfer must meet an open handle.
    Rig r;
    r.kb->Attach(0);
    r.kb->Attach(1);
    r.Scan();
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    auto stream = [&](bool feature) {
        while (!stop.load()) {
            if (feature)
                r.manager.SendFeature(Feature({7, 0x23, 0x45, 0x67, 0x89, 1, 0, 40}));
            else
                r.manager.WriteReport(Output({0, 0x89, 0, 0x43, 1, 2, 3, 4}));
            r.manager.WriteAuxReport(Output({0, 0xF1, 60}));
            sent.fetch_add(1);
        }
    };
    std::thread a(stream, true);
    std::thread b(stream, false);
    // Rescan until the streams have really run between the scans: on a busy
    // machine the threads may not start before 300 scans are over.
    for (int i = 0; i < 300 || sent.load() < 200; ++i) {
        r.manager.Rescan();
        r.manager.SetCurrentDeviceType(i % 2 ? 201 : 0);
        if (i % 50 == 0) r.manager.CloseAll();
    }
    stop.store(true);
    a.join();
    b.join();
    EXPECT_GT(sent.load(), 0);
    EXPECT_EQ(r.bus->UseAfterClose(), 0);
    r.manager.CloseAll();
    EXPECT_EQ(r.bus->OpenHandles(), 0);
}

TEST(Transport, SwitchingTheBusClosesWhatWasOpenAndMovesNotifications) {
    Rig r;
    int events = 0;
    r.manager.StartDeviceNotifications([&](const DeviceChange&) { ++events; });
    r.kb->Attach(0);
    EXPECT_EQ(events, 3);
    r.Scan();
    auto next = std::make_shared<sim::SimulatedBus>(&r.clock);
    sim::SimKeyboardSetup setup;
    setup.connections = {{0, kVid, 1, false}};
    auto other = next->AddKeyboard(setup);
    r.manager.SetBackend(next);
    EXPECT_EQ(r.bus->OpenHandles(), 0);
    EXPECT_FALSE(r.manager.IsOpen());
    other->Attach(0);
    EXPECT_EQ(events, 6);
    r.kb->Detach(0);  // the old bus no longer reports
    EXPECT_EQ(events, 6);
    r.Scan();
    EXPECT_TRUE(r.manager.SendFeature(Feature({7, 0xF0, 0xAA})));
    EXPECT_EQ(other->Memory().resets, 1);
}

TEST(SystemClock, DeviceWaitsLastAtLeastAsAskedAndWakeAtRealTimePriorityWhereAllowed) {
    // Whether this machine lets a thread take the lowest round-robin priority.
    bool allowed = false;
    std::thread([&] {
        sched_param rr{};
        rr.sched_priority = sched_get_priority_min(SCHED_RR);
        allowed = sched_setscheduler(0, SCHED_RR, &rr) == 0;
    }).join();

    std::atomic<pid_t> sleeper{0};
    std::atomic<bool> done{false};
    std::int64_t slept = 0;
    int policyAfter = -1;
    std::thread t([&] {
        sleeper = gettid();
        DeviceClock& clock = SystemDeviceClock();
        const std::int64_t start = clock.NowMicros();
        clock.SleepMs(200);
        slept = clock.NowMicros() - start;
        policyAfter = sched_getscheduler(0);
        done = true;
    });
    // Looked at from outside while the wait runs.
    bool sawRoundRobin = false;
    while (!done) {
        if (const pid_t tid = sleeper.load()) sawRoundRobin = sawRoundRobin || sched_getscheduler(tid) == SCHED_RR;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    t.join();
    EXPECT_GE(slept, 200'000);
    EXPECT_EQ(sawRoundRobin, allowed);
    EXPECT_EQ(policyAfter, SCHED_OTHER);
}
