#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <future>

#include "link/keys/key_codes.h"
#include "softkeys_fixture.h"

using softkeys::FilterRequest;
using softkeys::KeyAssignment;
using softkeys_test::KeysIn;
using softkeys_test::SoftKeysTest;
using Clock = std::chrono::steady_clock;

// --- start-up and the drivers ---------------------------------------------

TEST_F(SoftKeysTest, WithTheDriversPresentNothingIsInstalled) {
    ASSERT_TRUE(keys->StartSoftwareKeys());
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(filter->IsOpen());
    EXPECT_EQ(keys->Monitor().ListenerCount(), 1u);
    // Start-up releases everything a previous run may have left.
    ASSERT_EQ(keyboard->WriteCount(), 4u);
    EXPECT_FALSE(keyboard->AnyKeyHeld());
    // A second start adds no second listener.
    ASSERT_TRUE(keys->StartSoftwareKeys());
    EXPECT_EQ(keys->Monitor().ListenerCount(), 1u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SoftKeysTest, WithTheDriversMissingTheHelperRunsTwiceBeforeStartUpGoesOn) {
    keyboard->SetOpenable(false);
    ASSERT_TRUE(keys->StartSoftwareKeys());
    ASSERT_EQ(commands.size(), 2u);
    const std::string helper = "/opt/keyloom/driver/x86_64/keyloom-driver";
    EXPECT_EQ(commands[0].program, helper);
    EXPECT_EQ(commands[0].args, std::vector<std::string>{"remove"});
    EXPECT_EQ(commands[1].program, helper);
    EXPECT_EQ(commands[1].args, (std::vector<std::string>{"install", "/opt/keyloom/driver/x86_64/vhidev.rules"}));
    EXPECT_TRUE(keyboard->IsOpen());
    EXPECT_TRUE(filter->IsOpen());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.exitCode, -1);
}

TEST_F(SoftKeysTest, NotRunningAsRootTheHelperGoesThroughPkexec) {
    keyboard->SetOpenable(false);
    root = false;
    ASSERT_TRUE(keys->StartSoftwareKeys());
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].program, "pkexec");
    EXPECT_EQ(commands[0].args, (std::vector<std::string>{"/opt/keyloom/driver/x86_64/keyloom-driver", "remove"}));
    EXPECT_EQ(commands[1].args[1], "install");
}

TEST_F(SoftKeysTest, AFailedInstallShowsTheErrorAndEndsWithCodeZero) {
    keyboard->SetOpenable(false);
    onInstall = [] {};  // the helper runs but the device still cannot be opened
    EXPECT_FALSE(keys->StartSoftwareKeys());
    EXPECT_EQ(commands.size(), 2u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, L"Install Driver");
    EXPECT_EQ(host.messages[0].second, L"InstallDriver Error!");
    // The process ends only once the message is closed.
    EXPECT_EQ(host.events, (std::vector<std::string>{"message", "exit 0"}));
    EXPECT_FALSE(filter->IsOpen());
    EXPECT_EQ(keys->Monitor().ListenerCount(), 0u);
}

TEST_F(SoftKeysTest, AHelperThatCannotBeStartedCountsAsAFailedInstall) {
    keyboard->SetOpenable(false);
    softkeys::SoftwareKeysSetup setup;
    setup.driverFolder = "/nonexistent/driver/x86_64";
    setup.isRoot = [] { return true; };
    softkeys::SoftwareKeys real(host, macros, filter, setup);  // the real runner
    EXPECT_FALSE(real.RemoveDrivers());
    EXPECT_FALSE(real.InstallDrivers());
}

// --- the table --------------------------------------------------------------

TEST_F(SoftKeysTest, LoadingSendsClearThenTableThenBothPreparations) {
    Load({{4, 2, 5}, {0x105, 2, 6}, {57, 3, 12}}, false);
    const auto requests = filter->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].code, FilterRequest::SetTable);
    EXPECT_EQ(requests[0].input, std::vector<std::uint8_t>(256, 0));
    EXPECT_EQ(requests[1].code, FilterRequest::SetTable);
    ASSERT_EQ(requests[1].input.size(), 1024u);
    std::vector<std::uint8_t> table(1024, 0);
    const std::uint8_t head[] = {4, 0, 7, 2, 0x05, 0x01, 7, 2, 57, 0, 7, 2};
    std::copy(std::begin(head), std::end(head), table.begin());
    EXPECT_EQ(requests[1].input, table);
    EXPECT_EQ(requests[2].code, FilterRequest::Prepare);
    EXPECT_EQ(requests[3].code, FilterRequest::PrepareSecond);
    EXPECT_TRUE(keys->Monitor().Running());
    EXPECT_EQ(keys->SoftwareKeyMap().size(), 3u);
    EXPECT_EQ(keys->SoftwareKeyMap().at(57).macro_value, 12);
}

TEST_F(SoftKeysTest, TheTableHoldsAtMost256Entries) {
    std::vector<KeyAssignment> rows;
    for (int i = 0; i < 300; ++i) rows.push_back({1 + i, 2, 5});
    Load(rows, false);
    const auto table = filter->Requests()[1].input;
    ASSERT_EQ(table.size(), 1024u);
    EXPECT_EQ(table[1020], 0x00);  // entry 255: row 256, code 256
    EXPECT_EQ(table[1021], 0x01);
    EXPECT_EQ(table[1022], 7);
    const auto map = keys->SoftwareKeyMap();
    EXPECT_EQ(map.size(), 256u);
    EXPECT_TRUE(map.count(256));
    EXPECT_FALSE(map.count(257));  // rows beyond the 256th are neither in the table nor mapped
}

TEST_F(SoftKeysTest, EveryLoadStartsFromNothingHeld) {
    // A key held when the profile is reloaded is let go, and its release
    // later leaves nothing behind even when the key now does something else.
    Load({{4, 2, 5}});
    filter->Press(4);
    ASSERT_TRUE(Eventually([&] { return keyboard->KeyHeld(5); }));
    {
        std::lock_guard<std::mutex> guard(host.lock);
        host.rows = {{4, 2, 6}, {kSentinel, 2, kSentinel}};
    }
    keys->LoadSoftwareKeyTable();
    EXPECT_FALSE(keyboard->AnyKeyHeld());
    filter->Release(4);
    Barrier();
    EXPECT_FALSE(keyboard->AnyKeyHeld());
}

// --- reported keys ------------------------------------------------------------

TEST_F(SoftKeysTest, AKeyRemappedToVolumeDownSendsItsUsageWhileHeld) {
    Load({{4, 2, 233}});
    auto before = keyboard->WriteCount();
    filter->Press(4);
    ExpectWrites(before, 1);
    auto w = keyboard->Writes().back();
    EXPECT_EQ(w.ReportId(), 3);
    EXPECT_EQ(w.bytes[2], 0xEA);
    EXPECT_EQ(w.bytes[3], 0x00);
    before = keyboard->WriteCount();
    filter->Release(4);
    ExpectWrites(before, 1);
    w = keyboard->Writes().back();
    EXPECT_EQ(w.ReportId(), 3);
    EXPECT_EQ(w.bytes[2], 0x00);
    EXPECT_EQ(keyboard->Consumer(), 0);
    // The key itself never reached the system.
    for (const auto& k : filter->SystemKeys()) EXPECT_NE(k.keyCode, 4);
}

TEST_F(SoftKeysTest, KeysAndMouseButtonsAreHeldAsLongAsTheKey) {
    struct Case {
        int value;
        int kind;
        int keyCode;    // held in the keyboard report, or -1
        int buttons;    // the mouse report's buttons
    };
    const Case cases[] = {
        {5, 2, 5, 0},     {0xE1, 2, 0xE1, 0}, {231, 2, 231, 0},
        {1, 5, -1, 0x01}, {2, 5, -1, 0x04},   {3, 5, -1, 0x02}, {7, 5, -1, 0x10}, {8, 5, -1, 0x08},
    };
    std::vector<KeyAssignment> rows;
    for (std::size_t i = 0; i < std::size(cases); ++i) rows.push_back({static_cast<int>(30 + i), cases[i].kind, cases[i].value});
    Load(rows);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        auto before = keyboard->WriteCount();
        filter->Press(static_cast<int>(30 + i));
        ExpectWrites(before, 1);
        if (c.keyCode >= 0) {
            EXPECT_TRUE(keyboard->KeyHeld(c.keyCode)) << i;
        }
        EXPECT_EQ(keyboard->Buttons(), c.buttons) << i;
        before = keyboard->WriteCount();
        filter->Release(static_cast<int>(30 + i));
        ExpectWrites(before, 1);
        EXPECT_FALSE(keyboard->AnyKeyHeld()) << i;
    }
}

TEST_F(SoftKeysTest, KeysThatDoNothing) {
    // Mouse values without a button, kinds the listener leaves to others,
    // a shortcut number without steps, and keys without a row.
    Load({{30, 5, 4}, {31, 8, 1}, {32, 9, 1}, {33, 0, 0}, {34, 7, 16}});
    const auto before = keyboard->WriteCount();
    for (int code : {30, 31, 32, 33, 34}) {
        filter->Press(code);
        filter->Release(code);
    }
    EXPECT_EQ(Barrier(), before + 4);  // only the shortcut without steps releases all
    EXPECT_TRUE(host.Queued().empty());
    EXPECT_EQ(keys->OnSoftwareKey(99, true), 0);
}

TEST_F(SoftKeysTest, AShortcutPlaysItsStepsTenMillisecondsApartThenReleasesAll) {
    Load({{30, 7, 2}});  // Ctrl+C
    const auto before = keyboard->WriteCount();
    filter->Press(30);
    ExpectWrites(before, 8);
    filter->Release(30);  // nothing on the release
    const auto end = Barrier();
    EXPECT_EQ(end, before + 8);
    const auto w = keyboard->Writes();
    EXPECT_EQ(KeysIn(w[before]), std::vector<int>{224});
    EXPECT_EQ(KeysIn(w[before + 1]), (std::vector<int>{6, 224}));
    EXPECT_EQ(KeysIn(w[before + 2]), std::vector<int>{224});
    EXPECT_EQ(KeysIn(w[before + 3]), std::vector<int>{});
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_GE(w[before + i].time - w[before + i - 1].time, std::chrono::milliseconds(10)) << i;
    }
    for (std::size_t i = 4; i < 8; ++i) EXPECT_EQ(w[before + i].ReportId(), i - 3);
}

TEST_F(SoftKeysTest, AMacroKeyQueuesItsMacroOnThePress) {
    Load({{30, 3, 17}});
    filter->Press(30);
    ASSERT_TRUE(host.WaitQueued(1));
    filter->Release(30);
    filter->Press(30);
    filter->Release(30);
    Barrier();
    EXPECT_EQ(host.Queued(), (std::vector<int>{17, 17}));
}

TEST_F(SoftKeysTest, AKeyboardThatGoesAwayLeavesNoKeyHeld) {
    Load({{30, 2, 5}, {31, 5, 1}});
    filter->Press(30);
    filter->Press(31);
    ASSERT_TRUE(Eventually([&] { return keyboard->KeyHeld(5) && keyboard->Buttons() == 1; }));
    filter->Unplug();
    ASSERT_TRUE(Eventually([&] { return !keyboard->AnyKeyHeld(); }));
}

TEST_F(SoftKeysTest, AVirtualKeyboardThatDisappearsIsReopenedOnTheNextKey) {
    Load({{30, 2, 5}});
    const int opens = keyboard->OpenCount();
    keyboard->Disappear();
    filter->Press(30);
    ASSERT_TRUE(Eventually([&] { return keyboard->KeyHeld(5); }));
    EXPECT_GT(keyboard->OpenCount(), opens);
    filter->Release(30);
    ASSERT_TRUE(Eventually([&] { return !keyboard->AnyKeyHeld(); }));
}

// --- macros -----------------------------------------------------------------

TEST_F(SoftKeysTest, AMacroPlaysEveryPassWithAtLeastFiveMillisecondsPerStep) {
    macros.macros[3] = {3, 3};
    macros.steps[3] = {{2, 'A', 0}, {3, 'A', 0}};
    const auto start = Clock::now();
    keys->PlaySoftwareMacro(3);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(macros.listed, 3);  // the steps are read for every pass
    const auto w = keyboard->Writes();
    ASSERT_EQ(w.size(), 4u + 3u * 6u);
    for (int pass = 0; pass < 3; ++pass) {
        const std::size_t at = 4 + static_cast<std::size_t>(pass) * 6;
        EXPECT_EQ(KeysIn(w[at]), std::vector<int>{4}) << pass;
        EXPECT_EQ(KeysIn(w[at + 1]), std::vector<int>{}) << pass;
        EXPECT_GE(w[at + 1].time - w[at].time, std::chrono::milliseconds(5));
        EXPECT_GE(w[at + 2].time - w[at + 1].time, std::chrono::milliseconds(5));
        for (std::size_t r = 0; r < 4; ++r) EXPECT_EQ(w[at + 2 + r].ReportId(), r + 1) << pass;
    }
}

TEST_F(SoftKeysTest, MacroStepsKeepTheirDelaysAndMediaKeysGoToTheConsumerReport) {
    macros.macros[4] = {4, 1};
    macros.steps[4] = {{2, 175, 20}, {3, 175, 0}, {2, 666, 7}, {3, 666, 0}};  // volume up; the ISO key
    keys->PlaySoftwareMacro(4);
    const auto w = keyboard->Writes();
    ASSERT_EQ(w.size(), 4u + 4u + 4u);
    EXPECT_EQ(w[4].ReportId(), 3);
    EXPECT_EQ(w[4].bytes[2], 0xE9);
    EXPECT_EQ(w[5].ReportId(), 3);
    EXPECT_EQ(w[5].bytes[2], 0x00);
    EXPECT_GE(w[5].time - w[4].time, std::chrono::milliseconds(20));
    EXPECT_EQ(KeysIn(w[6]), std::vector<int>{50});
    EXPECT_GE(w[7].time - w[6].time, std::chrono::milliseconds(7));
}

TEST_F(SoftKeysTest, MacroPlaybackRunsAtRealTimePriorityWhereAllowedAndGivesItBack) {
    // Whether this machine lets a thread take the lowest round-robin priority.
    bool allowed = false;
    std::thread([&] {
        sched_param rr{};
        rr.sched_priority = sched_get_priority_min(SCHED_RR);
        allowed = sched_setscheduler(0, SCHED_RR, &rr) == 0;
    }).join();

    macros.macros[6] = {6, 2};
    macros.steps[6] = {{2, 'A', 0}, {3, 'A', 0}};
    int policyAfter = -1;
    std::thread worker([&] {
        keys->PlaySoftwareMacro(6);
        policyAfter = sched_getscheduler(0);
    });
    worker.join();
    EXPECT_EQ(macros.listed, 2);
    EXPECT_EQ(macros.policyWhileListing, allowed ? SCHED_RR : SCHED_OTHER);
    EXPECT_EQ(policyAfter, SCHED_OTHER);
}

TEST_F(SoftKeysTest, MacrosThatPlayNothing) {
    macros.macros[5] = {5, 0};
    macros.steps[5] = {{2, 'A', 0}};
    keys->PlaySoftwareMacro(5);   // play times 0
    keys->PlaySoftwareMacro(99);  // no such macro
    EXPECT_EQ(keyboard->WriteCount(), 8u);  // each only releases all
    keyboard->Disappear();
    keyboard->SetOpenable(false);
    keys->PlaySoftwareMacro(5);
    EXPECT_EQ(keyboard->WriteCount(), 8u);
}

// --- stopping and exit ------------------------------------------------------

TEST_F(SoftKeysTest, StopMonitorEndsAWaitingListener) {
    Load({{30, 2, 5}});
    ASSERT_TRUE(keys->Monitor().Running());
    auto stopped = std::async(std::launch::async, [&] { keys->StopMonitor(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "StopMonitor hung";
    EXPECT_FALSE(keys->Monitor().Running());
    // Keys reported while nobody listens wait for the next listener.
    const auto before = keyboard->WriteCount();
    filter->Press(30);
    filter->Release(30);
    keys->Monitor().StartListening();
    ExpectWrites(before, 2);
    const auto w = keyboard->Writes();
    EXPECT_EQ(KeysIn(w[before]), std::vector<int>{5});
    EXPECT_EQ(KeysIn(w[before + 1]), std::vector<int>{});
}

TEST_F(SoftKeysTest, ShutdownReleasesClearsAndLetsKeysTypeNormally) {
    Load({{4, 2, 5}, {5, 5, 1}});
    filter->Press(4);
    filter->Press(5);
    ASSERT_TRUE(Eventually([&] { return keyboard->KeyHeld(5) && keyboard->Buttons() == 1; }));
    EXPECT_TRUE(filter->Grabbed());
    keys->Shutdown();
    EXPECT_FALSE(keyboard->AnyKeyHeld());
    EXPECT_FALSE(keys->Monitor().Running());
    const auto requests = filter->Requests();
    EXPECT_EQ(requests.back().code, FilterRequest::SetTable);
    EXPECT_EQ(requests.back().input, std::vector<std::uint8_t>(256, 0));
    EXPECT_FALSE(filter->Grabbed());
    EXPECT_FALSE(filter->IsOpen());

    filter->ClearRecords();
    filter->Release(4);
    filter->Release(5);
    filter->Press(4);
    filter->Release(4);
    const auto typed = filter->SystemKeys();
    ASSERT_EQ(typed.size(), 4u);
    EXPECT_EQ(typed[2], (sim::SimFilter::SystemKey{4, KEY_A, true, false}));
    EXPECT_EQ(typed[3], (sim::SimFilter::SystemKey{4, KEY_A, false, false}));
    keys->Shutdown();  // again: harmless
}
