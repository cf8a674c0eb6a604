// A small INI file: "[section]" lines and "key=value" lines. Used for the
// settings file and, read-only, for the language files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

class IniFile {
public:
    // Reads the file; false when it cannot be read. UTF-8 (with or without a
    // byte-order mark) and UTF-16 LE with a mark are understood.
    bool Load(const std::string& path);
    void Parse(const std::string& bytes);

    // Section and key names match without regard to ASCII case; the value has
    // its surrounding blanks and one pair of surrounding quotes removed.
    std::optional<std::wstring> Get(const std::wstring& section, const std::wstring& key) const;
    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    bool Remove(const std::wstring& section, const std::wstring& key);
    bool HasSection(const std::wstring& section) const;

    // Writes UTF-8 through a temporary file and a rename, so a failed write
    // never leaves a half-written file behind.
    bool Save(const std::string& path) const;
    std::string Serialize() const;

private:
    struct Line {
        std::wstring text;     // the line as read (or as made by Set)
        std::wstring section;  // section it belongs to
        std::wstring key;      // empty unless a key line
        std::wstring value;
        bool isHeader = false;
    };
    std::vector<Line> lines_;
};

}  // namespace platform
