#include "search/XmlLookup.h"

#include <cstring>
#include <optional>
#include <string_view>

namespace xmllookup {
namespace {
std::string_view prefixOf(std::string_view qualifiedName) {
    const size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

// True when the attribute declares the namespace of `prefix` ("xmlns" for none).
bool declares(const pugi::xml_attribute& attribute, std::string_view prefix) {
    const std::string_view name = attribute.name();
    if (prefix.empty())
        return name == "xmlns";
    return name.size() == 6 + prefix.size() && name.substr(0, 6) == "xmlns:" &&
           name.substr(6) == prefix;
}

bool nameMatches(const pugi::xml_node& node, const char* name) {
    return std::strcmp(node.name(), name) == 0 || std::strcmp(localName(node.name()), name) == 0;
}
} // namespace

const char* localName(const char* qualifiedName) {
    const char* colon = std::strchr(qualifiedName, ':');
    return colon ? colon + 1 : qualifiedName;
}

std::string namespaceOf(const pugi::xml_node& element) {
    const std::string_view prefix = prefixOf(element.name());
    for (pugi::xml_node node = element; node && node.type() == pugi::node_element;
         node = node.parent()) {
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
            if (declares(a, prefix))
                return a.value();
    }
    return {};
}

pugi::xml_node child(const pugi::xml_node& parent, const char* name) {
    if (!parent)
        return {};
    std::optional<std::string> parentNamespace; // looked up at the first name match
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !nameMatches(child, name))
            continue;
        if (!parentNamespace)
            parentNamespace = namespaceOf(parent);
        if (parentNamespace->empty() || namespaceOf(child) == *parentNamespace)
            return child;
    }
    return {};
}

pugi::xml_attribute attribute(const pugi::xml_node& element, const char* name) {
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        if (std::strcmp(a.name(), name) == 0 || std::strcmp(localName(a.name()), name) == 0)
            return a;
    }
    return {};
}

std::string text(const pugi::xml_node& element) {
    const pugi::xml_node only = element.first_child();
    const bool single = only && !only.next_sibling();
    if (!single || (only.type() != pugi::node_pcdata && only.type() != pugi::node_cdata))
        throw ReadFailure("element has no text");
    return only.value();
}

std::string text(const pugi::xml_attribute& attribute) {
    return attribute.value();
}

} // namespace xmllookup
