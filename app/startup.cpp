#include "app/startup.h"

#include <cstdio>
#include <cstring>

#include "platform/locale.h"
#include "platform/single_instance.h"
#include "store/settings.h"
#include "tavri/host.h"
#include "tavri/manager.h"
#include "xml/xml_document.h"

namespace {
std::function<void(const StartupOptions&)>& MainWindowRunner() {
    static std::function<void(const StartupOptions&)> runner;
    return runner;
}
}  // namespace

bool ParseStartupOptions(int argc, char** argv, StartupOptions& options, bool& help, std::string& error) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--simulate") {
            options.simulate = true;
        } else if (a.rfind("--simulate=", 0) == 0) {
            options.simulate = true;
            options.simulateValue = a.substr(std::strlen("--simulate="));
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a.rfind("-platform", 0) == 0 || a.rfind("-display", 0) == 0) {
            // Options of the window host; passed through to it.
            if (a.find('=') == std::string::npos) ++i;
        } else {
            error = "unknown option: " + a;
            return false;
        }
    }
    return true;
}

void ReadDeviceNameFromConfig() {
    xml::XmlDocument doc;
    CString path;
    path.Format(L"%s\\config.xml", GetProgramFolderNoSlash().c_str());
    if (!doc.Load(path)) return;
    if (!doc.FindElem(L"config") || !doc.IntoElem()) return;
    if (!doc.FindElem(L"software")) return;
    // A software element without a name gives the empty name, as it stands.
    Manager::SetDeviceName(CString(doc.GetAttrib(L"name")));
}

int ChooseStartupLanguage(int uiLanguageId) {
    const int stored = ReadLanguageId();
    if (stored != 0) return stored;
    WriteLanguageId(uiLanguageId == 1046 ? 1046 : 2052);
    return uiLanguageId;
}

platform::SingleInstance& InstanceGuard() {
    static platform::SingleInstance guard;
    return guard;
}

void SetMainWindowRunner(std::function<void(const StartupOptions&)> runner) {
    MainWindowRunner() = std::move(runner);
}

int RunStartup(int argc, char** argv) {
    StartupOptions options;
    bool help = false;
    std::string error;
    if (!ParseStartupOptions(argc, argv, options, help, error)) {
        std::fprintf(stderr, "keyloom: %s (try --help)\n", error.c_str());
        return kExitUsage;
    }
    if (help) {
        std::printf(
            "usage: keyloom [--simulate[=TYPE[,MODE]]]\n"
            "  --simulate   use the simulated keyboard instead of one on the HID bus\n");
        return 0;
    }

    // 1. The device name names the lock, the settings and the data folder.
    ReadDeviceNameFromConfig();
    const std::string name = Manager::GetDeviceName().ToUtf8();

    // 2-3. A second copy asks the first to come forward and leaves with 0,
    // whether or not the first one had a window to show yet.
    platform::SingleInstance& guard = InstanceGuard();
    if (guard.Acquire(name) == platform::SingleInstance::Role::Secondary) {
        platform::SingleInstance::SendActivate(name);
        return kExitOtherInstance;
    }

    // 6. Language.
    CurrentLanguageId = ChooseStartupLanguage(platform::UserUiLanguageId());

    // 7. Module handle: there is one image on Linux; the toolkit needs no handle.
    Manager::SetInstance(nullptr);

    // 8. Database folder; a failure shows up later when the store opens.
    CreateFolderPath(GetUserDataFolder() + L"db");

    // 5, 9. The window host stands in for GDI+, COM and OLE.
    HostInitialize(argc, argv);

    // 10. Main window.
    if (MainWindowRunner()) MainWindowRunner()(options);

    // 11. Shut-down in order.
    HostShutdown();
    guard.Release();
    return kExitNormalRun;
}
