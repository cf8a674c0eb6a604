// Profile and macro exchange files: the formats byte for byte, the import
// rules, and hostile or broken files that must leave the database alone.
#include "store/exchange.h"

#include <sys/stat.h>

#include "store_fixture.h"

using namespace storetest;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

KeyAssignmentRow Key(int profile, int layer, int code, int type, int value, const wchar_t* desc = L"d") {
    KeyAssignmentRow r;
    r.profile = profile;
    r.fnLayer = layer;
    r.keyCode = code;
    r.macroType = type;
    r.macroValue = value;
    r.macroDesc = desc;
    return r;
}

class ExchangeTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        rules_.BuildProfileList();
        hooks_.calls.clear();
    }

    // A macro with steps at the given record indexes (values 10, 11, ...).
    int MakeMacro(const CString& name, std::vector<int> indexes) {
        MacroRow m;
        m.name = name;
        m.playTimes = 3;
        m.delayType = 2;
        m.delayTime = 15;
        const int id = store_.AddMacro(m);
        int value = 10;
        for (int index : indexes) store_.AddMacroRecord(MacroRecordRow{0, id, 2, index, value++, 20, L"K"});
        return id;
    }

    std::string File(const std::string& name) const { return home_.dir() / name; }

    FakeList list_;
    FakeList macros_;
    FakePrompt prompt_;
    FakeHooks hooks_;
    FakeFiles files_;
    ProfileRules rules_{store_, list_, prompt_, hooks_};
};

}  // namespace

// ---- writing --------------------------------------------------------------------

TEST_F(ExchangeTest, ProfileFileHoldsLayerZeroItemsAndTheirMacros) {
    const int m = MakeMacro(L"Combo", {1, 0});
    store_.SaveKeyAssignment(Key(1, 0, 4, 2, 5, L"A & \"B\""));
    KeyAssignmentRow macroKey = Key(1, 0, 5, kKeyKindMacro, m, L"Combo");
    macroKey.layoutValue = 9;
    macroKey.layoutDesc = L"<x>";
    store_.SaveKeyAssignment(macroKey);
    store_.SaveKeyAssignment(Key(1, 1, 6, 2, 7));  // Fn layer 1: not exported
    store_.SaveKeyAssignment(Key(2, 0, 7, 2, 8));  // another profile
    list_.sel = 0;
    files_.path = CString::FromUtf8(File("out.xml"));

    ASSERT_TRUE(ExportProfile(rules_, files_));
    EXPECT_EQ(files_.lastKind, FileDialogKind::Save);
    EXPECT_EQ(files_.lastFilter, L"Profile (*.xml)|*.xml");
    EXPECT_EQ(ReadFile(File("out.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<profile>\n"
              "\t<profileinfo name=\"Profile 1\" />\n"
              "\t<keyitems>\n"
              "\t\t<item fn_layer=\"0\" key_code=\"4\" layout_value=\"0\" layout_desc=\"\" macro_type=\"2\" "
              "macro_value=\"5\" macro_value2=\"0\" macro_value3=\"0\" macro_desc=\"A &amp; &quot;B&quot;\" />\n"
              "\t\t<item fn_layer=\"0\" key_code=\"5\" layout_value=\"9\" layout_desc=\"&lt;x>\" macro_type=\"3\" "
              "macro_value=\"1\" macro_value2=\"0\" macro_value3=\"0\" macro_desc=\"Combo\" />\n"
              "\t</keyitems>\n"
              "\t<macroinfo name=\"Combo\" macro_id=\"1\" times=\"3\" type=\"2\" delaytime=\"15\">\n"
              "\t\t<macroitems>\n"
              "\t\t\t<item desc=\"K\" type=\"2\" value=\"11\" delay_time=\"20\" />\n"
              "\t\t\t<item desc=\"K\" type=\"2\" value=\"10\" delay_time=\"20\" />\n"
              "\t\t</macroitems>\n"
              "\t</macroinfo>\n"
              "</profile>\n");
}

TEST_F(ExchangeTest, MacroFileHasItsItemsBesideTheHeader) {
    const int m = MakeMacro(L"M & \U0001F600", {0});
    macros_.AddEntry(L"shown", m);
    macros_.sel = 0;
    files_.path = CString::FromUtf8(File("m.xml"));
    ASSERT_TRUE(ExportMacro(store_, macros_, prompt_, files_));
    EXPECT_EQ(files_.lastFilter, L"Macro (*.xml)|*.xml");
    EXPECT_EQ(ReadFile(File("m.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<macro>\n"
              "\t<macroinfo name=\"M &amp; \xF0\x9F\x98\x80\" times=\"3\" type=\"2\" delaytime=\"15\" />\n"
              "\t<macroitems>\n"
              "\t\t<item desc=\"K\" type=\"2\" value=\"10\" delay_time=\"20\" />\n"
              "\t</macroitems>\n"
              "</macro>\n");
}

TEST_F(ExchangeTest, NothingSelectedOrCancelledWritesNoFile) {
    files_.path = CString::FromUtf8(File("never.xml"));
    list_.sel = -1;
    EXPECT_FALSE(ExportProfile(rules_, files_));
    EXPECT_FALSE(ExportMacro(store_, macros_, prompt_, files_));
    ASSERT_EQ(prompt_.shown.size(), 2u);
    EXPECT_EQ(prompt_.shown[0].style, -1);  // the system's box
    EXPECT_EQ(prompt_.shown[0].title, L"Export profile");
    EXPECT_EQ(prompt_.shown[0].text, L"Please select a profile first");
    EXPECT_EQ(prompt_.shown[1].title, L"Export macro");
    EXPECT_EQ(prompt_.shown[1].text, L"Please select a macro first");
    EXPECT_EQ(files_.asked, 0);

    list_.sel = 0;
    files_.cancel = true;
    EXPECT_FALSE(ExportProfile(rules_, files_));
    EXPECT_FALSE(ImportProfile(rules_, macros_, files_));
    EXPECT_FALSE(ImportMacros(store_, macros_, files_));
    EXPECT_FALSE(testsupport::Exists(File("never.xml")));
    // A macro that is gone writes nothing either.
    macros_.AddEntry(L"gone", 99);
    macros_.sel = 0;
    files_.cancel = false;
    EXPECT_FALSE(ExportMacro(store_, macros_, prompt_, files_));
    EXPECT_FALSE(testsupport::Exists(File("never.xml")));
}

// ---- reading ----------------------------------------------------------------------

TEST_F(ExchangeTest, ImportedItemsKeepTheirLayersAndEmptyItemsStoreNothing) {
    WriteFile(File("layers.xml"),
              "<?xml version=\"1.0\"?><profile><profileinfo name=\"ignored\"/><keyitems>"
              "<item fn_layer=\"0\" key_code=\"4\" macro_type=\"2\" macro_value=\"5\" macro_desc=\"a\"/>"
              "<item fn_layer=\"1\" key_code=\"4\" macro_type=\"2\" macro_value=\"6\"/>"
              "<item fn_layer=\"2\" key_code=\"9\" macro_type=\"12\" macro_value2=\"3\"/>"
              "<item fn_layer=\"0\" key_code=\"0\" macro_type=\"2\" macro_value=\"7\"/>"
              "<item fn_layer=\"0\" key_code=\"8\" macro_type=\"2\"/>"
              "</keyitems></profile>");
    files_.path = CString::FromUtf8(File("layers.xml"));
    ASSERT_TRUE(ImportProfile(rules_, macros_, files_));
    EXPECT_EQ(files_.lastKind, FileDialogKind::Open);
    EXPECT_EQ(files_.lastFilter, L"Custom Key (*.xml)|*.xml");

    ASSERT_EQ(list_.GetCount(), 4);
    EXPECT_EQ(list_.GetText(3), L"layers");
    const int id = list_.GetItemData(3);
    EXPECT_EQ(id, 4);
    EXPECT_EQ(list_.sel, 3);
    EXPECT_EQ(rules_.CurrentProfile(), id);
    EXPECT_EQ(store_.GetActiveProfile(), id);
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"show 4", "table"}));

    std::vector<KeyAssignmentRow> rows;
    ASSERT_EQ(store_.ListKeyAssignments(id, 0, rows), 1);
    EXPECT_EQ(rows[0].macroDesc, L"a");
    ASSERT_EQ(store_.ListKeyAssignments(id, 1, rows), 1);
    EXPECT_EQ(rows[0].macroValue, 6);
    ASSERT_EQ(store_.ListKeyAssignments(id, 2, rows), 1);
    EXPECT_EQ(rows[0].macroValue2, 3);
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_key_macro_data"), "3");
}

TEST_F(ExchangeTest, TwoKeysOnOneMacroImportAsTwoCopiesUsingTheLast) {
    const int m = MakeMacro(L"Shared", {0, 1});
    store_.SaveKeyAssignment(Key(1, 0, 4, kKeyKindMacro, m));
    store_.SaveKeyAssignment(Key(1, 0, 5, kKeyKindMacro, m));
    ASSERT_TRUE(WriteProfileFile(store_, 1, L"Profile 1", CString::FromUtf8(File("two.keys.xml"))));
    // The macro is written once per key: two identical macroinfo blocks.
    const std::string text = ReadFile(File("two.keys.xml"));
    const size_t first = text.find("\t<macroinfo");
    const size_t second = text.find("\t<macroinfo", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.find("\t<macroinfo", second + 1), std::string::npos);
    EXPECT_EQ(text.substr(first, second - first), text.substr(second, text.rfind("</profile>") - second));

    // Into another keyboard's database, where the macro does not exist.
    store_.CloseDatabase();
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), L"Other"));
    ProfileImportResult result;
    ASSERT_EQ(ImportProfileFile(store_, CString::FromUtf8(File("two.keys.xml")), result), ExchangeStatus::Ok);
    EXPECT_EQ(result.profileName, L"two");
    ASSERT_EQ(result.addedMacros.size(), 2u);
    std::vector<MacroRow> all;
    ASSERT_EQ(store_.ListMacros(all), 2);
    const int last = result.addedMacros[1].second;
    EXPECT_EQ(all[1].macroId, last);
    for (int code : {4, 5}) {
        KeyAssignmentRow k;
        ASSERT_TRUE(store_.GetKeyAssignment(result.profileId, 0, code, k));
        EXPECT_EQ(k.macroValue, last);
    }
    std::vector<MacroRecordRow> steps;
    EXPECT_EQ(store_.ListMacroRecords(last, steps), 2);
    EXPECT_EQ(store_.ListMacroRecords(result.addedMacros[0].second, steps), 2);
}

TEST_F(ExchangeTest, ReimportIntoTheSameDatabaseReusesUnchangedMacros) {
    const int kept = MakeMacro(L"Kept", {0});
    const int renamed = MakeMacro(L"Before", {0});
    store_.SaveKeyAssignment(Key(1, 0, 4, kKeyKindMacro, kept));
    store_.SaveKeyAssignment(Key(1, 0, 5, kKeyKindMacro, renamed));
    const CString path = CString::FromUtf8(File("back.xml"));
    ASSERT_TRUE(WriteProfileFile(store_, 1, L"Profile 1", path));
    store_.RenameMacro(renamed, L"After");

    files_.path = path;
    ASSERT_TRUE(ImportProfile(rules_, macros_, files_));
    // Only the macro whose name changed comes in again.
    std::vector<MacroRow> all;
    ASSERT_EQ(store_.ListMacros(all), 3);
    EXPECT_EQ(all[2].name, L"Before");
    EXPECT_EQ(macros_.entries, (std::vector<std::pair<CString, int>>{{L"Before", all[2].macroId}}));
    EXPECT_EQ(macros_.sel, 0);
    KeyAssignmentRow k;
    ASSERT_TRUE(store_.GetKeyAssignment(rules_.CurrentProfile(), 0, 4, k));
    EXPECT_EQ(k.macroValue, kept);
    ASSERT_TRUE(store_.GetKeyAssignment(rules_.CurrentProfile(), 0, 5, k));
    EXPECT_EQ(k.macroValue, all[2].macroId);
}

TEST_F(ExchangeTest, MacroFileStepsAreRenumberedFromZero) {
    const int m = MakeMacro(L"Src", {5, 20, 9});
    const CString path = CString::FromUtf8(File("Fast.combo.v2.xml"));
    ASSERT_TRUE(WriteMacroFile(store_, m, path));

    files_.path = path;
    ASSERT_TRUE(ImportMacros(store_, macros_, files_));
    EXPECT_EQ(files_.lastFilter, L"Macros (*.xml)|*.xml");
    ASSERT_EQ(macros_.GetCount(), 1);
    EXPECT_EQ(macros_.GetText(0), L"Fast");  // the file's title, not the stored name
    const int id = macros_.GetItemData(0);
    MacroRow row;
    ASSERT_TRUE(store_.GetMacro(id, row));
    EXPECT_EQ(row.name, L"Fast");
    EXPECT_EQ(row.playTimes, 3);
    EXPECT_EQ(row.delayType, 2);
    EXPECT_EQ(row.delayTime, 15);
    EXPECT_EQ(row.linkCount, 0);
    // Source indexes 5, 20, 9 held values 10, 11, 12; the file lists them by index.
    constexpr int kValuesInIndexOrder[] = {10, 12, 11};
    std::vector<MacroRecordRow> steps;
    ASSERT_EQ(store_.ListMacroRecords(id, steps), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(steps[static_cast<size_t>(i)].recordIndex, i);
        EXPECT_EQ(steps[static_cast<size_t>(i)].value, kValuesInIndexOrder[i]);
    }
}

TEST(ExchangeNameTest, TitleUpToTheFirstDot) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/home/u/my.game.profile.xml", L"my"},
        {L"/home/u.d/plain.xml", L"plain"},
        {L"C:\\Users\\u\\win.xml", L"win"},
        {L"/tmp/noext", L"noext"},
        {L"/tmp/.hidden.xml", L".hidden.xml"},
        {L"\U0001F600 \"&\".xml", L"\U0001F600 \"&\""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(ExchangeNameFromPath(path), CString(name)) << CString(path).ToUtf8();
}

// ---- broken and hostile files ---------------------------------------------------

TEST_F(ExchangeTest, RefusedProfileFilesChangeNothing) {
    const int m = MakeMacro(L"Kept", {0});
    store_.SaveKeyAssignment(Key(1, 0, 4, kKeyKindMacro, m));
    const std::string good = BuildProfileDocument(store_, 1, L"P");

    std::string manyItems = "<profile><keyitems>";
    for (size_t i = 0; i <= kMaxExchangeKeyItems; ++i) manyItems += "<item key_code=\"4\" macro_value=\"1\"/>";
    manyItems += "</keyitems></profile>";
    std::string manySteps = "<profile><macroinfo name=\"x\"><macroitems>";
    for (size_t i = 0; i <= kMaxExchangeStepsPerMacro; ++i) manySteps += "<item type=\"2\"/>";
    manySteps += "</macroitems></macroinfo></profile>";
    std::string manyMacros = "<profile>";
    for (size_t i = 0; i <= kMaxExchangeMacros; ++i) manyMacros += "<macroinfo/>";
    manyMacros += "</profile>";

    const std::vector<std::tuple<const char*, std::string, ExchangeStatus>> cases = {
        {"empty", "", ExchangeStatus::NotXml},
        {"text", "not xml at all", ExchangeStatus::NotXml},
        {"truncated", good.substr(0, good.size() / 2), ExchangeStatus::NotXml},
        {"unclosed tag", "<profile><keyitems><item key_code=\"4\"</keyitems></profile>", ExchangeStatus::NotXml},
        {"macro root", "<macro><macroinfo/></macro>", ExchangeStatus::WrongRoot},
        {"other root", "<config><profile/></config>", ExchangeStatus::WrongRoot},
        {"too many items", manyItems, ExchangeStatus::TooLarge},
        {"too many steps", manySteps, ExchangeStatus::TooLarge},
        {"too many macros", manyMacros, ExchangeStatus::TooLarge},
    };
    const std::string before = DumpDatabase(DbPath());
    for (const auto& [name, bytes, status] : cases) {
        SCOPED_TRACE(name);
        ProfileImportResult result;
        EXPECT_EQ(ImportProfileData(store_, bytes, L"x", result), status);
        EXPECT_EQ(result.profileId, 0);
        EXPECT_EQ(DumpDatabase(DbPath()), before);
    }

    // Through the page: a broken file exists (true), a missing one does not.
    WriteFile(File("broken.xml"), good.substr(0, 40));
    files_.path = CString::FromUtf8(File("broken.xml"));
    EXPECT_TRUE(ImportProfile(rules_, macros_, files_));
    files_.path = CString::FromUtf8(File("missing.xml"));
    EXPECT_FALSE(ImportProfile(rules_, macros_, files_));
    files_.path = CString::FromUtf8(home_.dir().path());  // a folder is no file
    EXPECT_FALSE(ImportProfile(rules_, macros_, files_));
    EXPECT_EQ(list_.GetCount(), 3);
    EXPECT_TRUE(macros_.entries.empty());
    EXPECT_EQ(DumpDatabase(DbPath()), before);
}

TEST_F(ExchangeTest, RefusedMacroFilesChangeNothing) {
    std::string manySteps = "<macro><macroinfo/><macroitems>";
    for (size_t i = 0; i <= kMaxExchangeStepsPerMacro; ++i) manySteps += "<item/>";
    manySteps += "</macroitems></macro>";
    const std::vector<std::tuple<const char*, std::string, ExchangeStatus>> cases = {
        {"text", "<<<", ExchangeStatus::NotXml},
        {"truncated", "<macro><macroinfo name=\"a\" times=\"1\"", ExchangeStatus::NotXml},
        {"profile root", "<profile/>", ExchangeStatus::WrongRoot},
        {"too many steps", manySteps, ExchangeStatus::TooLarge},
    };
    const std::string before = DumpDatabase(DbPath());
    for (const auto& [name, bytes, status] : cases) {
        SCOPED_TRACE(name);
        MacroImportResult result;
        EXPECT_EQ(ImportMacroData(store_, bytes, L"x", result), status);
        EXPECT_EQ(DumpDatabase(DbPath()), before);
    }
    WriteFile(File("huge.xml"), std::string(kMaxExchangeFileBytes + 1, ' '));
    MacroImportResult result;
    EXPECT_EQ(ImportMacroFile(store_, CString::FromUtf8(File("huge.xml")), result), ExchangeStatus::Unreadable);
    EXPECT_EQ(DumpDatabase(DbPath()), before);
}

TEST_F(ExchangeTest, MissingAndOddAttributesReadAsNumbersTheWayTheyAlwaysHave) {
    const std::string bytes =
        "<profile><keyitems>"
        "<item key_code=\"4\" macro_value=\"5\"/>"                                  // the rest reads as 0 / empty
        "<item key_code=\"x5\" macro_type=\"2\" macro_value=\"5\"/>"                // key code 0: not stored
        "<item key_code=\" 6abc\" macro_type=\"2\" macro_value=\"-3\"/>"            // leading digits count
        "<item key_code=\"7\" macro_type=\"2\" macro_value=\"99999999999\"/>"       // clamps
        "<item key_code=\"8\" macro_value=\"1\" macro_desc=\"&quot;q&quot; &amp; &#x1F600;\"/>"
        "</keyitems></profile>";
    ProfileImportResult result;
    ASSERT_EQ(ImportProfileData(store_, bytes, L"odd", result), ExchangeStatus::Ok);
    std::vector<KeyAssignmentRow> rows;
    ASSERT_EQ(store_.ListKeyAssignments(result.profileId, 0, rows), 4);
    EXPECT_EQ(rows[0].keyCode, 4);
    EXPECT_EQ(rows[0].macroType, 0);
    EXPECT_EQ(rows[0].macroDesc, L"");
    EXPECT_EQ(rows[1].keyCode, 6);
    EXPECT_EQ(rows[1].macroValue, -3);
    EXPECT_EQ(rows[2].macroValue, 2147483647);
    EXPECT_EQ(rows[3].macroDesc, L"\"q\" & \U0001F600");

    // A macro file without macroinfo still brings its steps, with zero settings.
    MacroImportResult macro;
    ASSERT_EQ(ImportMacroData(store_, "<macro><macroitems><item desc=\"&lt;\" type=\"3\"/></macroitems></macro>",
                              L"bare", macro),
              ExchangeStatus::Ok);
    MacroRow m;
    ASSERT_TRUE(store_.GetMacro(macro.macroId, m));
    EXPECT_EQ(m.playTimes, 0);
    std::vector<MacroRecordRow> steps;
    ASSERT_EQ(store_.ListMacroRecords(macro.macroId, steps), 1);
    EXPECT_EQ(steps[0].desc, L"<");
    EXPECT_EQ(steps[0].type, 3);
}

TEST_F(ExchangeTest, NamesWithQuotesAmpersandsAndNonBmpCharactersRoundTrip) {
    const CString name = L"Q\"uo'te & <amp> \U0001F3AE\U00010348";
    const int m = MakeMacro(name, {0});
    KeyAssignmentRow k = Key(1, 0, 4, kKeyKindMacro, m, name.c_str());
    k.layoutDesc = name;
    store_.SaveKeyAssignment(k);
    const std::string bytes = BuildProfileDocument(store_, 1, name);

    store_.CloseDatabase();
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), L"Other"));
    ProfileImportResult result;
    ASSERT_EQ(ImportProfileData(store_, bytes, name, result), ExchangeStatus::Ok);
    ASSERT_EQ(result.addedMacros.size(), 1u);
    EXPECT_EQ(result.addedMacros[0].first, name);
    KeyAssignmentRow got;
    ASSERT_TRUE(store_.GetKeyAssignment(result.profileId, 0, 4, got));
    EXPECT_EQ(got.macroDesc, name);
    EXPECT_EQ(got.layoutDesc, name);
    CString profileName;
    store_.GetProfileName(result.profileId, profileName);
    EXPECT_EQ(profileName, name);
}

// A write that fails half-way takes back everything the import had written.
TEST_F(ExchangeTest, FailedWriteLeavesNoTrace) {
    const int m = MakeMacro(L"M", {0, 1});
    store_.SaveKeyAssignment(Key(1, 0, 4, kKeyKindMacro, m));
    const std::string bytes = BuildProfileDocument(store_, 1, L"P");

    // Into a database whose key table is gone: the macros go in first, then
    // the keys fail.
    store_.CloseDatabase();
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), L"Other"));
    store_.CloseDatabase();
    const std::string other = ProfileStore::BuildDatabasePath(GetUserDataFolder(), L"Other");
    ExecRaw(other, "DROP TABLE t_key_macro_data");
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), L"Other"));
    const std::string before = DumpDatabase(other);
    ProfileImportResult result;
    EXPECT_EQ(ImportProfileData(store_, bytes, L"P", result), ExchangeStatus::WriteFailed);
    EXPECT_TRUE(result.addedMacros.empty());
    EXPECT_EQ(DumpDatabase(other), before);
    // The connection is usable afterwards, outside any transaction.
    EXPECT_GT(store_.CreateMacro(L"after"), 0);
    store_.CloseDatabase();

    // Into a read-only database.
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
    store_.CloseDatabase();
    chmod(DbPath().c_str(), 0444);
    for (std::string d = DataFolder() + "db"; d.size() >= home_.dir().path().size(); d = d.substr(0, d.rfind('/')))
        chmod(d.c_str(), 0755);
    const std::string roBefore = DumpDatabase(DbPath());
    const int failed = RunUnprivileged([&] {
        ProfileStore ro;
        if (!ro.OpenDatabase(GetUserDataFolder(), kKeyboard)) return 1;
        ProfileImportResult r;
        if (ImportProfileData(ro, bytes, L"P", r) != ExchangeStatus::WriteFailed) return 2;
        MacroImportResult mr;
        if (ImportMacroData(ro, "<macro><macroinfo/></macro>", L"m", mr) != ExchangeStatus::WriteFailed) return 3;
        return 0;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(DumpDatabase(DbPath()), roBefore);
}
