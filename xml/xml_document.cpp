#include "xml/xml_document.h"

#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "platform/paths.h"
#include "platform/text.h"

namespace xml {

using platform::Utf8ToWide;
using platform::WideToUtf8;

struct XmlDocument::Impl {
    pugi::xml_document doc;
    pugi::xml_node parent;   // whose children the cursor walks
    pugi::xml_node current;  // under the cursor; null = before the first child

    void Reset() {
        parent = doc;
        current = pugi::xml_node();
    }
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) { impl_->Reset(); }
XmlDocument::~XmlDocument() = default;

void XmlDocument::Clear() {
    impl_->doc.reset();
    impl_->Reset();
}

bool XmlDocument::Load(const std::wstring& path) {
    Clear();
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return false;
    return LoadFromString(bytes.str());
}

bool XmlDocument::LoadFromString(const std::string& bytes) {
    Clear();
    // encoding_auto looks at the byte-order mark and the first bytes, so
    // UTF-16 and UTF-32 files come in as well as UTF-8.
    const pugi::xml_parse_result r =
        impl_->doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!r || !impl_->doc.document_element()) {
        Clear();
        return false;
    }
    impl_->Reset();
    return true;
}

bool XmlDocument::FindElem(const std::wstring& name) {
    const std::string n = WideToUtf8(name);
    pugi::xml_node node = impl_->current ? impl_->current.next_sibling() : impl_->parent.first_child();
    for (; node; node = node.next_sibling()) {
        if (node.type() != pugi::node_element) continue;
        if (n.empty() || n == node.name()) {
            impl_->current = node;
            return true;
        }
    }
    return false;
}

bool XmlDocument::IntoElem() {
    if (!impl_->current || impl_->current.type() != pugi::node_element) return false;
    impl_->parent = impl_->current;
    impl_->current = pugi::xml_node();
    return true;
}

bool XmlDocument::OutOfElem() {
    if (impl_->parent == impl_->doc) return false;
    impl_->current = impl_->parent;
    impl_->parent = impl_->parent.parent();
    return true;
}

void XmlDocument::ResetPos() { impl_->Reset(); }

std::wstring XmlDocument::GetTagName() const {
    return impl_->current ? Utf8ToWide(impl_->current.name()) : std::wstring();
}

std::wstring XmlDocument::GetAttrib(const std::wstring& name) const {
    if (!impl_->current) return {};
    const pugi::xml_attribute a = impl_->current.attribute(WideToUtf8(name).c_str());
    return a ? Utf8ToWide(a.value()) : std::wstring();
}

bool XmlDocument::HasAttrib(const std::wstring& name) const {
    return impl_->current && impl_->current.attribute(WideToUtf8(name).c_str());
}

std::wstring XmlDocument::GetData() const {
    return impl_->current ? Utf8ToWide(impl_->current.child_value()) : std::wstring();
}

bool XmlDocument::AddElem(const std::wstring& name) {
    if (name.empty()) return false;
    const std::string n = WideToUtf8(name);
    // A document has one root element only.
    if (impl_->parent == impl_->doc && impl_->doc.document_element()) return false;
    pugi::xml_node node = impl_->current ? impl_->parent.insert_child_after(pugi::node_element, impl_->current)
                                         : impl_->parent.append_child(pugi::node_element);
    if (!node) return false;
    node.set_name(n.c_str());
    impl_->current = node;
    return true;
}

bool XmlDocument::AddAttrib(const std::wstring& name, const std::wstring& value) {
    if (!impl_->current || name.empty()) return false;
    const std::string n = WideToUtf8(name);
    pugi::xml_attribute a = impl_->current.attribute(n.c_str());
    if (!a) a = impl_->current.append_attribute(n.c_str());
    return a && a.set_value(WideToUtf8(value).c_str());
}

bool XmlDocument::AddAttrib(const std::wstring& name, long long value) {
    return AddAttrib(name, std::to_wstring(value));
}

bool XmlDocument::SetData(const std::wstring& text) {
    if (!impl_->current) return false;
    return impl_->current.text().set(WideToUtf8(text).c_str());
}

std::string XmlDocument::ToString(const std::wstring& firstLine) const {
    std::ostringstream out;
    if (!firstLine.empty()) out << WideToUtf8(firstLine) << "\n";
    impl_->doc.save(out, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

bool XmlDocument::Save(const std::wstring& path, const std::wstring& firstLine) const {
    const std::string target = platform::NativePath(path);
    const std::string tmp = target + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << ToString(firstLine);
        if (!out.flush()) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace xml
