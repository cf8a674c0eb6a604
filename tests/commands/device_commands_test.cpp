// Firmware version check, factory reset and the firmware tool hand-over.
#include <gtest/gtest.h>

#include <cstdio>

#include "command_rig.h"

using cmdtest::Feature;
using cmdtest::Out;
using cmdtest::PacketLine;
using cmdtest::Read;
using cmdtest::Rig;

// ---- firmware version -----------------------------------------------------------------

TEST(CheckFirmwareVersion, OffersAnUpdateWhenTheKeyboardsDigitsAreSmaller) {
    struct Case {
        const char* server;
        std::uint16_t keyboard;
        bool update;
    };
    const Case cases[] = {
        {"106", 0x0105, true},
        {"105", 0x0105, false},
        {"104", 0x0105, false},
        {"110", 0x0109, true},        // 0x109 reads as 109
        {"0000000106", 0x0105, true},  // ten characters are still a version
        {"1.2", 0x0001, false},        // read as far as it is a number: 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        Rig r(201);
        r.kb->SetFirmwareVersion(c.keyboard);
        const bool expected = c.update;
        EXPECT_EQ(r.cmd.CheckFirmwareVersion(CString::FromUtf8(c.server)), expected);
        char answer[32];
        std::snprintf(answer, sizeof answer, "07 %02X %02X", c.keyboard >> 8, c.keyboard & 0xFF);
        EXPECT_EQ(r.TakeLines(), (std::vector<std::string>{Feature("07 FD"), Read(answer)}));
        EXPECT_EQ(r.state.remoteFirmwareVersion, CString::FromUtf8(c.server));
        if (expected)
            EXPECT_EQ(r.window.calls, (std::vector<std::string>{"upgrade 1", "task 15"}));
        else
            EXPECT_TRUE(r.window.calls.empty());
    }
}

TEST(CheckFirmwareVersion, AnEmptyOrOverlongServerTextAsksNothing) {
    for (const char* server : {"", "00000000106"}) {
        SCOPED_TRACE(server);
        Rig r(201);
        r.kb->SetFirmwareVersion(0x0001);
        r.state.remoteFirmwareVersion = L"99";  // from an earlier check
        EXPECT_FALSE(r.cmd.CheckFirmwareVersion(CString::FromUtf8(server)));
        EXPECT_TRUE(r.Take().empty());
        EXPECT_TRUE(r.state.remoteFirmwareVersion.empty());
        EXPECT_TRUE(r.window.calls.empty());
    }
}

TEST(CheckFirmwareVersion, AFailedRequestOffersNothingAndFailedReadsReadAsZero) {
    {
        SCOPED_TRACE("request fails");
        Rig r(201);
        r.kb->FailNextTransfers(1);
        EXPECT_FALSE(r.cmd.CheckFirmwareVersion(L"106"));
        EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Feature("07 FD") + " FAILED"});
        EXPECT_TRUE(r.window.calls.empty());
    }
    {
        SCOPED_TRACE("both reads fail: 0xFD00 reads as 0");
        Rig r(201);
        r.kb->QueueReadReplies({sim::ReadReply::Fail, sim::ReadReply::Fail});
        EXPECT_TRUE(r.cmd.CheckFirmwareVersion(L"1"));
        EXPECT_EQ(r.window.calls, (std::vector<std::string>{"upgrade 1", "task 15"}));
    }
    {
        SCOPED_TRACE("no keyboard");
        Rig r(201);
        r.kb->Detach(0);
        r.manager.Rescan();
        EXPECT_FALSE(r.cmd.CheckFirmwareVersion(L"106"));
        EXPECT_TRUE(r.window.calls.empty());
    }
}

// ---- factory reset ------------------------------------------------------------------------

TEST(FactoryReset, SendsTheResetOfTheCommandSetAndConnectionThenReloadsThePages) {
    struct Case {
        const char* name;
        int type;
        int mode;
        std::vector<std::string> lines;
        std::int64_t reloadAfterFirstMicros;  // from the first transfer to the reload
    };
    const Case cases[] = {
        {"output report", 101, 0, {Out("00 FF FE AA FF")}, 100000},
        {"feature report on the cable", 201, 0, {Feature("07 F0 AA")}, 100000},
        {"two packets 1.6 s apart through the receiver", 201, 1,
         {PacketLine("BB AA 99 88 AA AA AA AA AA AA"), PacketLine("BB AA 99 88")}, 1600000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.type, c.mode);
        r.FillRemapSlot(2, 9);
        r.Take();
        r.cmd.FactoryReset();
        const auto sent = r.Take();
        ASSERT_EQ(sent.size(), c.lines.size());
        for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sim::FormatTransfer(sent[i]), c.lines[i]);
        ASSERT_EQ(r.window.calls, std::vector<std::string>{"reload"});
        EXPECT_EQ(r.window.callTimes[0] - sent[0].timeMicros, c.reloadAfterFirstMicros);
        EXPECT_EQ(r.kb->Memory().resets, 1);
        EXPECT_EQ(r.kb->Memory().remapSlots[1].owner, 0);
    }
}

TEST(FactoryReset, ReloadsEvenWhenTheResetFailsAndDoesNothingForType300) {
    Rig r(201);
    r.kb->FailNextTransfers(1);
    r.cmd.FactoryReset();
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Feature("07 F0 AA") + " FAILED"});
    EXPECT_EQ(r.window.calls, std::vector<std::string>{"reload"});

    Rig other(300);
    other.cmd.FactoryReset();
    EXPECT_TRUE(other.Take().empty());
    EXPECT_TRUE(other.window.calls.empty());
}

// ---- firmware tool --------------------------------------------------------------------------

namespace {

struct ToolRig : Rig {
    ToolRig() : Rig(201) {
        layout.firmwareFile = L"FwTool";
        cmd.SetProgramFolder(CString::FromUtf8(folder.path()));
        cmd.SetProcessStarter([this](const std::string& path) {
            started.push_back(path);
            openWhenStarted = manager.IsOpen();
            return pid;
        });
    }
    void PlaceTool() {
        testsupport::MakeDirs(folder / "firmware");
        testsupport::WriteFile(folder / "firmware/FwTool", "#!/bin/sh\n");
    }
    testsupport::TempDir folder;
    std::vector<std::string> started;
    bool openWhenStarted = true;
    pid_t pid = 4242;
};

}  // namespace

TEST(RunFirmwareTool, ClosesTheKeyboardStartsTheToolAndEndsTheProgram) {
    ToolRig r;
    r.PlaceTool();
    EXPECT_EQ(r.cmd.RunFirmwareTool(), commands::FirmwareToolResult::Started);
    EXPECT_EQ(r.started, std::vector<std::string>{r.folder / "firmware/FwTool"});
    EXPECT_FALSE(r.openWhenStarted);
    EXPECT_EQ(r.bus->OpenHandles(), 0);
    EXPECT_EQ(r.window.calls, std::vector<std::string>{"exit 0"});
}

TEST(RunFirmwareTool, AToolThatCannotStartWaitsTwoSecondsAndRefreshes) {
    ToolRig r;
    r.PlaceTool();
    r.pid = -1;
    r.clock.ResetCounters();
    EXPECT_EQ(r.cmd.RunFirmwareTool(), commands::FirmwareToolResult::StartFailed);
    EXPECT_EQ(r.started.size(), 1u);
    EXPECT_EQ(r.clock.SleptMs(), 2000);
    EXPECT_EQ(r.window.calls, std::vector<std::string>{"refresh"});
}

TEST(RunFirmwareTool, AMissingToolDoesNothing) {
    for (bool named : {true, false}) {
        SCOPED_TRACE(named);
        ToolRig r;
        if (!named) r.layout.firmwareFile.clear();
        EXPECT_EQ(r.cmd.RunFirmwareTool(), commands::FirmwareToolResult::Missing);
        EXPECT_TRUE(r.started.empty());
        EXPECT_TRUE(r.manager.IsOpen());
        EXPECT_TRUE(r.window.calls.empty());
    }
}
