// Lighting: mode and parameters, presets, per-key colours, colour frames and
// music levels.
#include <algorithm>
#include <atomic>
#include <vector>

#include "link/commands/command_set.h"

namespace commands {

namespace {

constexpr int kCustomColourWaitMs = 1;
constexpr int kFrameWaitMs = 1;
constexpr COLORREF kMusicPictureColour = 0xFFFF00;

std::atomic<bool>& StreamModeFlag() {
    static std::atomic<bool> entered{false};
    return entered;
}

void PutColour(std::uint8_t* at, COLORREF c) {
    at[0] = static_cast<std::uint8_t>(c & 0xFF);
    at[1] = static_cast<std::uint8_t>((c >> 8) & 0xFF);
    at[2] = static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

}  // namespace

bool StreamModeEntered() { return StreamModeFlag().load(); }
void ResetStreamModeEnteredForTests() { StreamModeFlag().store(false); }

bool CommandSet::ReadLightSetting(LightSettingRow& row) {
    return store_.GetLightSetting(state_.lightProfile.load(), state_.currentLightMode.load(), row);
}

void CommandSet::UploadLightSettings() {
    LightSettingRow row;
    if (!ReadLightSetting(row)) return;  // no default is sent
    if (ReportFamily()) {
        // The first upload after a mode change sends only the mode; later
        // ones only the parameters.
        if (!state_.modeSent.load())
            SendOutputReport(LightModeReport(row.mode));
        else
            SendOutputReport(LightParameterReport(row));
        state_.modeSent.store(true);
    } else if (FeatureFamily()) {
        const int option = state_.optionSelection.load();
        if (manager_.GetConnectionMode() == 0)
            SendFeatureReport(LightFeatureReport(row, option));
        else
            manager_.WritePacket(LightPacket(row, option));
    }
}

void CommandSet::SendLightPreset() {
    if (state_.deviceType.load() >= 200) return;
    LightSettingRow row;
    if (!ReadLightSetting(row)) return;
    const int option = state_.optionSelection.load();
    SendFeatureReport(LightPresetReport(row, option));
    if (!hooks_.picture) return;
    hooks_.picture->SetLightModeColor(0, 0);
    std::vector<KeyLightRow> lights;
    store_.ListKeyLights(kCustomLightSet + option, lights);
    for (const KeyLightRow& l : lights) hooks_.picture->SetKeyColor(l.keyCode, static_cast<COLORREF>(l.keyRgb));
}

bool CommandSet::UploadCustomColours() {
    CustomColourTable table{};
    std::vector<KeyLightRow> lights;
    store_.ListKeyLights(kCustomLightSet, lights);
    for (const KeyLightRow& l : lights) {
        const int i = LayoutIndex(layout_.lightIndexByCode, l.keyCode, kLightIndexes);
        if (i < 0) continue;
        std::uint8_t* at = table.data() + 4 * i;
        PutColour(at, static_cast<COLORREF>(l.keyRgb));
        at[3] = 0xFF;
    }
    for (const OutputReport& r : CustomColourReports(table)) {
        Sleep(kCustomColourWaitMs);
        if (!SendOutputReport(r)) return false;
    }
    return true;
}

void CommandSet::StreamKeyColours(EffectSource source) {
    const int rows = std::min(layout_.rowCount, kMatrixRows);
    const int columns = std::min(layout_.colCount, kMatrixColumns);
    if (rows <= 0 || columns <= 0) return;
    const IEffectColours* engine = source == EffectSource::Screen ? hooks_.screenEngine : hooks_.musicEngine;
    bool lit = false;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int key = layout_.keyMatrix[static_cast<size_t>(r)][static_cast<size_t>(c)];
            if (key == kNoKey) continue;
            const COLORREF colour = engine ? engine->CellColour(r, c) : 0;
            if (hooks_.picture) hooks_.picture->SetKeyColor(key, colour);
            // 0 and 1 both count as dark.
            lit = lit || colour >= 2;
        }
    }
    if (hooks_.picture) hooks_.picture->Redraw();
    if (lit && manager_.GetConnectionMode() == 0) SendKeyFrame();
}

void CommandSet::SendKeyFrame() {
    ColourFrame frame{};
    if (hooks_.picture) {
        for (const PictureKey& key : hooks_.picture->GetKeyItems()) {
            const int i = LayoutIndex(layout_.lightIndexByCode, key.code, kLightIndexes);
            if (i >= 0) PutColour(frame.data() + 3 * i, key.colour);
        }
    }
    // Once per process, also across reconnections; exchange keeps two
    // threads from both sending it.
    if (!StreamModeFlag().exchange(true)) SendOutputReport(StreamModeReport());
    for (const OutputReport& r : FrameReports(frame)) {
        Sleep(kFrameWaitMs);
        // Fails only when there is no interface-3 channel.
        if (!manager_.WriteAuxReport(r)) break;
    }
}

void CommandSet::SendMusicLevel(int level) {
    if (!FeatureFamily()) return;
    if (hooks_.picture) hooks_.picture->ResetAllItemsColor(kMusicPictureColour);
    const int value = MusicLevelValue(level, state_.musicGain.load());
    // No 16 ms wait, so that one level per audio packet can go out.
    manager_.SendFeature(MusicLevelReport(state_.musicColour.load(), state_.musicEffect.load(), value));
}

}  // namespace commands
