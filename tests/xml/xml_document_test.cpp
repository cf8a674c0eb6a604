#include <gtest/gtest.h>

#include "test_support.h"
#include "platform/text.h"
#include "xml/xml_document.h"

using xml::XmlDocument;

namespace {
const char kConfig[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<config>\n"
    "  <device.info>\n"
    "    <keyboard name=\"A\"><mode value=\"0\"/><mode value=\"1\"/></keyboard>\n"
    "    <keyboard name=\"B\"/>\n"
    "  </device.info>\n"
    "  <software name=\"Keyloom\" version=\"1.2\"><website url=\"https://x.invalid/\"/></software>\n"
    "</config>\n";
}

TEST(XmlDocument, CursorWalksSiblingsAndLevels) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromString(kConfig));
    ASSERT_TRUE(doc.FindElem(L"config"));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem(L"device.info"));
    ASSERT_TRUE(doc.IntoElem());

    std::vector<std::wstring> names;
    int modes = 0;
    while (doc.FindElem(L"keyboard")) {
        names.push_back(doc.GetAttrib(L"name"));
        ASSERT_TRUE(doc.IntoElem());
        while (doc.FindElem(L"mode")) ++modes;
        ASSERT_TRUE(doc.OutOfElem());
        EXPECT_EQ(doc.GetTagName(), L"keyboard");
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(modes, 2);
    ASSERT_TRUE(doc.OutOfElem());

    // Searching continues after the cursor: software lies after device.info.
    ASSERT_TRUE(doc.FindElem(L"software"));
    EXPECT_EQ(doc.GetAttrib(L"version"), L"1.2");
    EXPECT_EQ(doc.GetAttrib(L"absent"), L"");
    EXPECT_FALSE(doc.HasAttrib(L"absent"));
    // An element before the cursor is not seen again.
    EXPECT_FALSE(doc.FindElem(L"device.info"));
    EXPECT_EQ(doc.GetTagName(), L"software");  // a failed search leaves the cursor
    ASSERT_TRUE(doc.OutOfElem());
    EXPECT_FALSE(doc.OutOfElem());  // already at the top
    doc.ResetPos();
    EXPECT_TRUE(doc.FindElem(L"config"));
}

TEST(XmlDocument, IntoElemNeedsAnElementUnderTheCursor) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromString("<a/>"));
    EXPECT_FALSE(doc.IntoElem());
    EXPECT_EQ(doc.GetAttrib(L"x"), L"");
}

TEST(XmlDocument, EncodingsAreDetected) {
    // UTF-16 LE with a mark: <r n="配"/>
    std::u16string text = u"\xFEFF<r n=\"\x914D\"/>";
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    // Latin-1 declared in the prolog.
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r n=\"\xE7\xE3o\"/>";
    struct Case { std::string bytes; std::wstring name; };
    const Case cases[] = {{bytes, L"\u914D"},
                          {"\xEF\xBB\xBF<r n=\"\xE9\x85\x8D\"/>", L"\u914D"},
                          {latin1, L"\u00E7\u00E3o"}};
    for (const auto& c : cases) {
        XmlDocument doc;
        ASSERT_TRUE(doc.LoadFromString(c.bytes));
        ASSERT_TRUE(doc.FindElem(L"r"));
        EXPECT_EQ(doc.GetAttrib(L"n"), c.name);
    }
}

TEST(XmlDocument, MalformedMissingAndEmptyInputFail) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "bad.xml", "<config><software name=\"x\"></config>");
    testsupport::WriteFile(dir / "empty.xml", "");
    testsupport::WriteFile(dir / "trunc.xml", "<config><software na");
    for (const char* f : {"bad.xml", "empty.xml", "trunc.xml", "missing.xml"}) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Load(platform::Utf8ToWide(dir / f))) << f;
        EXPECT_FALSE(doc.FindElem(L"config")) << f;
    }
}

TEST(XmlDocument, BuildSaveAndLoadRoundTrip) {
    testsupport::TempDir dir;
    XmlDocument doc;
    ASSERT_TRUE(doc.AddElem(L"root"));
    EXPECT_FALSE(doc.AddElem(L"second_root"));
    ASSERT_TRUE(doc.AddAttrib(L"version", 3));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.AddElem(L"item"));
    ASSERT_TRUE(doc.AddAttrib(L"name", L"Q\"uote & <amp> \U0001F3B9 \u914D"));
    ASSERT_TRUE(doc.AddElem(L"item"));
    ASSERT_TRUE(doc.AddAttrib(L"name", L"second"));
    ASSERT_TRUE(doc.OutOfElem());

    // Backslashes in the path are the program's separators.
    const std::wstring path = platform::Utf8ToWide(dir.path()) + L"\\out.xml";
    ASSERT_TRUE(doc.Save(path, L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    const std::string text = testsupport::ReadFile(dir / "out.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root version=\"3\">", 0), 0u) << text;

    XmlDocument back;
    ASSERT_TRUE(back.Load(path));
    ASSERT_TRUE(back.FindElem(L"root"));
    EXPECT_EQ(back.GetAttrib(L"version"), L"3");
    ASSERT_TRUE(back.IntoElem());
    ASSERT_TRUE(back.FindElem(L"item"));
    EXPECT_EQ(back.GetAttrib(L"name"), L"Q\"uote & <amp> \U0001F3B9 \u914D");
    ASSERT_TRUE(back.FindElem(L"item"));
    EXPECT_EQ(back.GetAttrib(L"name"), L"second");
    EXPECT_FALSE(back.FindElem(L"item"));
}

TEST(XmlDocument, SaveToUnwritablePlaceFailsAndKeepsTheOldFile) {
    testsupport::TempDir dir;
    XmlDocument doc;
    ASSERT_TRUE(doc.AddElem(L"r"));
    EXPECT_FALSE(doc.Save(platform::Utf8ToWide(dir / "missing/folder/x.xml"), L""));
}
