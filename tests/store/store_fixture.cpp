#include "store_fixture.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace storetest {

int RunUnprivileged(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(120);
        }
        // _exit: the parent's objects (its database connection among them)
        // must not be torn down twice.
        _exit(body());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void StoreTest::SetUp() {
    env_.Set("KEYLOOM_PROGRAM_DIR", testsupport::SourceDir() + "/tests/store/fixtures");
    FlushLanguageCache();
    savedLanguage_ = CurrentLanguageId;
    CurrentLanguageId = 1033;
    ASSERT_TRUE(CreateFolderPath(GetUserDataFolder() + L"db"));
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
}

void StoreTest::TearDown() {
    store_.CloseDatabase();
    CurrentLanguageId = savedLanguage_;
}

void StoreTest::Reopen() {
    store_.CloseDatabase();
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
}

}  // namespace storetest
