#include "command_rig.h"

#include <cstdio>

namespace cmdtest {

namespace {

constexpr std::uint16_t kVid = 0x1209;

}  // namespace

Rig::Rig(int deviceType, int mode) {
    const std::uint16_t cablePid = deviceType <= 200 ? 4 : 1;
    sim::SimKeyboardSetup setup;
    setup.deviceType = deviceType;
    setup.connections = {{0, kVid, cablePid, false}, {1, kVid, static_cast<std::uint16_t>(cablePid + 1), false}};
    kb = bus->AddKeyboard(setup);
    manager.AddTarget(kVid, cablePid, L"", deviceType, 0, L"");
    manager.AddTarget(kVid, cablePid + 1, L"", deviceType, 1, L"");
    EXPECT_TRUE(kb->Attach(mode));
    manager.Rescan();
    manager.SetCurrentDeviceType(deviceType);

    EXPECT_TRUE(CreateFolderPath(GetUserDataFolder() + L"db"));
    EXPECT_TRUE(store.OpenDatabase(GetUserDataFolder(), L"Rig"));
    ProfileRow p;
    p.name = L"P1";
    store.AddProfile(p);
    p.name = L"P2";
    store.AddProfile(p);

    state.deviceType.store(deviceType);
    state.currentProfile.store(1);
    commands::CommandHooks hooks;
    hooks.picture = &picture;
    hooks.screenEngine = &screen;
    hooks.musicEngine = &music;
    hooks.pages = &window;
    hooks.firmwareUi = &window;
    hooks.program = &window;
    cmd.SetHooks(hooks);
    commands::ResetStreamModeEnteredForTests();
}

Rig::~Rig() { store.CloseDatabase(); }

std::vector<sim::TransferRecord> Rig::Take() {
    auto t = kb->Transfers();
    kb->ClearTransfers();
    return t;
}

std::vector<std::string> Rig::TakeLines() {
    std::vector<std::string> lines;
    for (const sim::TransferRecord& r : Take()) lines.push_back(sim::FormatTransfer(r));
    return lines;
}

void Rig::AddKey(int keyCode, int kind, int value, int profile) {
    if (value == 0) {
        char sql[256];
        std::snprintf(sql, sizeof sql,
                      "INSERT INTO t_key_macro_data(profile, fn_layer, key_code, layout_value, layout_desc, "
                      "macro_type, macro_value, macro_value2, macro_value3, macro_desc) "
                      "VALUES (%d, 0, %d, 0, '', %d, 0, 0, 0, '')",
                      profile, keyCode, kind);
        ASSERT_EQ(store.Database().Execute(sql), 0);
        return;
    }
    KeyAssignmentRow row;
    row.profile = profile;
    row.keyCode = keyCode;
    row.macroType = kind;
    row.macroValue = value;
    ASSERT_GT(store.SaveKeyAssignment(row), 0);
}

int Rig::AddMacro(const std::vector<std::array<int, 3>>& steps, int playTimes) {
    const int id = store.CreateMacro(L"M");
    MacroRow m;
    store.GetMacro(id, m);
    m.playTimes = playTimes;
    store.UpdateMacroPlayback(m);
    std::vector<MacroRecordRow> rows;
    for (size_t i = 0; i < steps.size(); ++i) {
        MacroRecordRow r;
        r.macroId = id;
        r.type = steps[i][0];
        r.recordIndex = static_cast<int>(i);
        r.value = steps[i][1];
        r.delayTime = steps[i][2];
        rows.push_back(r);
    }
    store.AddMacroRecords(rows);
    return id;
}

void Rig::FillRemapSlot(int slot, int keyCode, int target) {
    manager.SendFeature(commands::RemapSlotReport(slot, keyCode, target));
}

void Rig::FillMacroSlot(int slot, int keyCode) {
    commands::SlotBlock b = commands::ShortcutSlotBlock(slot, keyCode, 1);
    for (const auto& r : commands::SlotBlockReports(b)) manager.SendFeature(r);
}

}  // namespace cmdtest
