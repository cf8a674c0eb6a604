#include "link/commands/command_set.h"

#include "store/settings.h"

namespace commands {

CommandSet::CommandSet(CommandState& state, ProfileStore& store, const KeyboardLayout& layout, DeviceManager& manager)
    : state_(state), store_(store), layout_(layout), manager_(manager) {}

bool CommandSet::FeatureFamily() const {
    const int type = state_.deviceType.load();
    return type >= 201 && type <= 299;
}

bool CommandSet::ReportFamily() const { return state_.deviceType.load() <= 200; }

void CommandSet::Sleep(int ms) { manager_.Clock().SleepMs(ms); }

void CommandSet::SendFeatureReport(const FeatureReport& report) { manager_.SendFeatureAfterDelay(report); }

bool CommandSet::SendOutputReport(const OutputReport& report) { return manager_.WriteReport(report); }

CString CommandSet::Folder() const { return folder_.empty() ? GetProgramFolderNoSlash() : folder_; }

void CommandSet::UploadKeys() {
    if (ReportFamily())
        UploadKeyTable();
    else if (FeatureFamily())
        UploadKeyAssignments();
}

}  // namespace commands
