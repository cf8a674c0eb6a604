#include "platform/locale.h"

#include <cctype>
#include <cstdlib>

namespace platform {

namespace {

struct Entry {
    const char* name;  // "ll_CC" or "ll"
    int lcid;
};

// Full names first; a bare language falls back to its most common region.
constexpr Entry kTable[] = {
    {"pt_BR", 1046}, {"pt_PT", 2070}, {"zh_CN", 2052}, {"zh_SG", 4100}, {"zh_TW", 1028},
    {"zh_HK", 3076}, {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105},
    {"es_ES", 3082}, {"es_MX", 2058}, {"fr_FR", 1036}, {"fr_CA", 3084}, {"de_DE", 1031},
    {"de_AT", 3079}, {"de_CH", 2055}, {"it_IT", 1040}, {"ja_JP", 1041}, {"ko_KR", 1042},
    {"ru_RU", 1049}, {"nl_NL", 1043}, {"pl_PL", 1045}, {"tr_TR", 1055}, {"sv_SE", 1053},
    {"cs_CZ", 1029}, {"da_DK", 1030}, {"fi_FI", 1035}, {"el_GR", 1032}, {"hu_HU", 1038},
    {"nb_NO", 1044}, {"uk_UA", 1058}, {"ar_SA", 1025}, {"he_IL", 1037}, {"th_TH", 1054},
    {"vi_VN", 1066}, {"id_ID", 1057}, {"ro_RO", 1048},
    {"pt", 1046}, {"zh", 2052}, {"en", 1033}, {"es", 3082}, {"fr", 1036}, {"de", 1031},
    {"it", 1040}, {"ja", 1041}, {"ko", 1042}, {"ru", 1049}, {"nl", 1043}, {"pl", 1045},
    {"tr", 1055}, {"sv", 1053}, {"cs", 1029}, {"da", 1030}, {"fi", 1035}, {"el", 1032},
    {"hu", 1038}, {"nb", 1044}, {"no", 1044}, {"uk", 1058}, {"ar", 1025}, {"he", 1037},
    {"th", 1054}, {"vi", 1066}, {"id", 1057}, {"ro", 1048},
};

}  // namespace

int LanguageIdFromLocale(const std::string& locale) {
    // Strip ".codeset" and "@modifier"; normalise "pt-br" to "pt_BR".
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : name)
        if (c == '-') c = '_';
    const auto us = name.find('_');
    std::string lang = name.substr(0, us);
    std::string region = us == std::string::npos ? "" : name.substr(us + 1);
    for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (lang.empty() || lang == "c" || lang == "posix") return 1033;
    const std::string full = region.empty() ? lang : lang + "_" + region;
    for (const Entry& e : kTable)
        if (full == e.name) return e.lcid;
    for (const Entry& e : kTable)
        if (lang == e.name) return e.lcid;
    return 1033;
}

int UserUiLanguageId() {
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        std::string s(v);
        if (std::string(var) == "LANGUAGE") s = s.substr(0, s.find(':'));
        if (!s.empty()) return LanguageIdFromLocale(s);
    }
    return 1033;
}

}  // namespace platform
