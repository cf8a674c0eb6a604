// The user's interface language as a Windows language id (LCID).
#pragma once

#include <string>

namespace platform {

// From LANGUAGE (its first entry), LC_ALL, LC_MESSAGES, LANG, the first that
// is set: pt_BR 1046, zh_CN 2052, en_* and C/POSIX 1033, a table for other
// languages; unknown languages give 1033.
int UserUiLanguageId();
// The rule itself, for a locale name such as "pt_BR.UTF-8".
int LanguageIdFromLocale(const std::string& locale);

}  // namespace platform
