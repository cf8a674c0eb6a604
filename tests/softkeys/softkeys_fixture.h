// The software keys over the simulated filter and virtual keyboard, with a
// main window and a store that record what they are asked.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/softkeys/software_keys.h"
#include "link/softkeys/vhidev.h"
#include "sim/softkeys/sim_filter.h"
#include "sim/softkeys/sim_virtual_keyboard.h"

namespace softkeys_test {

class FakeHost : public softkeys::SoftKeyHost {
public:
    std::vector<softkeys::KeyAssignment> CurrentKeyAssignments() override {
        std::lock_guard<std::mutex> guard(lock);
        return rows;
    }
    void QueueMacro(int macroId) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            queued.push_back(macroId);
        }
        changed.notify_all();
    }
    void ShowMessageBox(const std::wstring& title, const std::wstring& text) override {
        std::lock_guard<std::mutex> guard(lock);
        messages.emplace_back(title, text);
        events.push_back("message");
    }
    void ExitProcess(int code) override {
        std::lock_guard<std::mutex> guard(lock);
        exitCode = code;
        events.push_back("exit " + std::to_string(code));
    }
    std::vector<int> Queued() {
        std::lock_guard<std::mutex> guard(lock);
        return queued;
    }
    bool WaitQueued(std::size_t n) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return queued.size() >= n; });
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<softkeys::KeyAssignment> rows;
    std::vector<int> queued;
    std::vector<std::pair<std::wstring, std::wstring>> messages;
    std::vector<std::string> events;
    int exitCode = -1;
};

class FakeMacros : public softkeys::MacroSource {
public:
    bool GetMacro(int macroId, softkeys::MacroInfo& macro) override {
        auto it = macros.find(macroId);
        if (it == macros.end()) return false;
        macro = it->second;
        return true;
    }
    std::vector<softkeys::MacroStep> ListMacroRecords(int macroId) override {
        ++listed;
        policyWhileListing = sched_getscheduler(0);
        return steps[macroId];
    }
    std::map<int, softkeys::MacroInfo> macros;
    std::map<int, std::vector<softkeys::MacroStep>> steps;
    int listed = 0;
    int policyWhileListing = -1;  // the playing thread's, read while a pass begins
};

struct SoftKeysTest : ::testing::Test {
    std::shared_ptr<sim::SimVirtualKeyboard> keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    std::shared_ptr<sim::SimFilter> filter = std::make_shared<sim::SimFilter>();
    FakeHost host;
    FakeMacros macros;
    std::vector<softkeys::Command> commands;
    bool root = true;
    // What the helper's install run does to the system; by default it works.
    std::function<void()> onInstall = [this] { keyboard->SetOpenable(true); };
    std::unique_ptr<softkeys::SoftwareKeys> keys;

    void SetUp() override {
        softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());
        softkeys::SoftwareKeysSetup setup;
        setup.driverFolder = "/opt/keyloom/driver/x86_64";
        setup.runCommand = [this](const softkeys::Command& c) {
            commands.push_back(c);
            if (c.args.size() >= 2 && c.args[c.args.size() - 2] == "install") onInstall();
            return 0;
        };
        setup.isRoot = [this] { return root; };
        keys = std::make_unique<softkeys::SoftwareKeys>(host, macros, filter, setup);
    }
    void TearDown() override {
        keys.reset();
        softkeys::VHidev::Instance().SetBackend(nullptr);
    }

    // A key whose press and release are typed as themselves: once its two
    // writes arrived, everything reported before it has been handled.
    static constexpr int kSentinel = 0x45;  // F12

    // Start-up and a table from these rows (and the sentinel's).
    void Load(std::vector<softkeys::KeyAssignment> rows, bool withSentinel = true) {
        if (withSentinel) rows.push_back({kSentinel, 2, kSentinel});
        {
            std::lock_guard<std::mutex> guard(host.lock);
            host.rows = std::move(rows);
        }
        ASSERT_TRUE(keys->StartSoftwareKeys());
        keys->LoadSoftwareKeyTable();
    }
    // Waits until the virtual keyboard has `more` writes beyond what it had.
    void ExpectWrites(std::size_t before, std::size_t more) {
        ASSERT_TRUE(keyboard->WaitForWrites(before + more, std::chrono::seconds(5)))
            << "only " << keyboard->WriteCount() - before << " of " << more << " writes";
    }
    // Returns once every key reported so far has been handled: the
    // sentinel's release is seen after its press. The writes made until then
    // are those before the returned count.
    std::size_t Barrier() {
        const std::size_t from = keyboard->WriteCount();
        filter->Press(kSentinel);
        filter->Release(kSentinel);
        std::size_t before = from;
        const bool seen = keyboard->WaitUntil(
            [&](const std::vector<sim::SimVirtualKeyboard::Write>& writes) {
                for (std::size_t i = from; i + 1 < writes.size(); ++i) {
                    if (writes[i].ReportId() == 1 && Holds(writes[i], kSentinel) && writes[i + 1].ReportId() == 1 &&
                        !Holds(writes[i + 1], kSentinel)) {
                        before = i;
                        return true;
                    }
                }
                return false;
            },
            std::chrono::seconds(5));
        EXPECT_TRUE(seen) << "the sentinel key never came through";
        return before;
    }
    // Polls until `done` holds (at most 5 s).
    template <class F>
    static bool Eventually(F done) {
        for (int i = 0; i < 5000; ++i) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    static bool Holds(const sim::SimVirtualKeyboard::Write& w, int code) { return (w.bytes[3 + code / 8] >> (code % 8)) & 1; }
};

// A key report as the virtual keyboard received it: the key codes held.
inline std::vector<int> KeysIn(const sim::SimVirtualKeyboard::Write& w) {
    std::vector<int> held;
    for (int code = 0; code < 256; ++code) {
        if ((w.bytes[3 + code / 8] >> (code % 8)) & 1) held.push_back(code);
    }
    return held;
}

}  // namespace softkeys_test
