// A cursor-style XML reader and writer. The cursor is a position among the
// children of one element (or of the document): FindElem moves it forward to
// the next sibling of a given name, IntoElem makes the element under the
// cursor the one whose children are walked, OutOfElem goes back up. Texts are
// wide; files are read in whatever encoding they declare and written as UTF-8.
#pragma once

#include <memory>
#include <string>

namespace xml {

class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Load and parse a file (the path may use backslashes). False when the
    // file is missing, unreadable or not well-formed; the document is empty then.
    bool Load(const std::wstring& path);
    bool LoadFromString(const std::string& bytes);
    // Empty document, cursor at the top.
    void Clear();

    // Next element named `name` (any element when empty) among the siblings
    // after the cursor. On failure the cursor does not move.
    bool FindElem(const std::wstring& name = {});
    // Walk the children of the element under the cursor, starting before the
    // first. False when the cursor is not on an element.
    bool IntoElem();
    // Back to the parent level, the cursor on the element that was entered.
    bool OutOfElem();
    // Back to the top, before the root element.
    void ResetPos();

    // Name of the element under the cursor (empty when none).
    std::wstring GetTagName() const;
    // Attribute of the element under the cursor; missing reads as empty.
    std::wstring GetAttrib(const std::wstring& name) const;
    bool HasAttrib(const std::wstring& name) const;
    // Text content of the element under the cursor.
    std::wstring GetData() const;

    // Adds an element after the cursor at the current level (at the end when
    // the cursor is before the first child) and puts the cursor on it.
    bool AddElem(const std::wstring& name);
    // Adds or replaces an attribute of the element under the cursor.
    bool AddAttrib(const std::wstring& name, const std::wstring& value);
    bool AddAttrib(const std::wstring& name, long long value);
    bool SetData(const std::wstring& text);

    // Writes `firstLine` (normally an XML declaration), a line break and the
    // document as UTF-8, through a temporary file so an existing file is only
    // replaced by a complete one.
    bool Save(const std::wstring& path, const std::wstring& firstLine) const;
    std::string ToString(const std::wstring& firstLine) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace xml
