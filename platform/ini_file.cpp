#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/text.h"

namespace platform {

namespace {

std::wstring Trim(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::iswspace(static_cast<wint_t>(s[b]))) ++b;
    while (e > b && std::iswspace(static_cast<wint_t>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x < 128) x = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(x)));
        if (y < 128) y = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(y)));
        if (x != y) return false;
    }
    return true;
}

std::wstring Decode(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string u;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            u += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return Utf16ToWide(u);
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return Utf8ToWide(std::string_view(bytes).substr(3));
    return Utf8ToWide(bytes);
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string bytes;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    Parse(bytes);
    return true;
}

void IniFile::Parse(const std::string& bytes) {
    lines_.clear();
    const std::wstring text = Decode(bytes);
    std::wstring section;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring raw = text.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == L'\r') raw.pop_back();
        pos = end + 1;
        if (end == text.size() && raw.empty()) break;

        Line line;
        line.text = raw;
        const std::wstring t = Trim(raw);
        if (!t.empty() && t.front() == L'[') {
            const size_t close = t.find(L']');
            section = Trim(t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            line.isHeader = true;
            line.section = section;
        } else if (!t.empty() && t.front() != L';' && t.front() != L'#') {
            const size_t eq = t.find(L'=');
            if (eq != std::wstring::npos) {
                line.section = section;
                line.key = Trim(t.substr(0, eq));
                std::wstring v = Trim(t.substr(eq + 1));
                if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                line.value = v;
            }
        }
        lines_.push_back(std::move(line));
    }
}

std::optional<std::wstring> IniFile::Get(const std::wstring& section, const std::wstring& key) const {
    for (const Line& l : lines_)
        if (!l.isHeader && !l.key.empty() && SameName(l.section, section) && SameName(l.key, key))
            return l.value;
    return std::nullopt;
}

bool IniFile::HasSection(const std::wstring& section) const {
    for (const Line& l : lines_)
        if (l.isHeader && SameName(l.section, section)) return true;
    return false;
}

void IniFile::Set(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    Line nl;
    nl.section = section;
    nl.key = key;
    nl.value = value;
    nl.text = key + L"=" + value;
    for (Line& l : lines_) {
        if (!l.isHeader && !l.key.empty() && SameName(l.section, section) && SameName(l.key, key)) {
            nl.key = l.key;
            nl.section = l.section;
            nl.text = l.key + L"=" + value;
            l = nl;
            return;
        }
    }
    // Append after the last line of the section, or start the section.
    size_t insertAt = lines_.size();
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isHeader && SameName(lines_[i].section, section)) {
            found = true;
            insertAt = i + 1;
        } else if (found && !lines_[i].isHeader && SameName(lines_[i].section, section) && !Trim(lines_[i].text).empty()) {
            insertAt = i + 1;
        } else if (found && lines_[i].isHeader) {
            break;
        }
    }
    if (!found) {
        Line header;
        header.isHeader = true;
        header.section = section;
        header.text = L"[" + section + L"]";
        lines_.push_back(header);
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), nl);
}

bool IniFile::Remove(const std::wstring& section, const std::wstring& key) {
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        if (!it->isHeader && !it->key.empty() && SameName(it->section, section) && SameName(it->key, key)) {
            lines_.erase(it);
            return true;
        }
    }
    return false;
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const Line& l : lines_) {
        out += WideToUtf8(l.text);
        out += '\n';
    }
    return out;
}

bool IniFile::Save(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string data = Serialize();
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) { ::close(fd); ::unlink(tmp.c_str()); return false; }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) { ::unlink(tmp.c_str()); return false; }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) { ::unlink(tmp.c_str()); return false; }
    return true;
}

}  // namespace platform
