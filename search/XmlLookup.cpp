#include "search/XmlLookup.h"

#include <cstring>

namespace xmllookup {
namespace {
std::string PrefixOf(const char* qualifiedName) {
    const char* colon = std::strchr(qualifiedName, ':');
    return colon ? std::string(qualifiedName, colon) : std::string();
}
} // namespace

const char* LocalName(const char* qualifiedName) {
    const char* colon = std::strchr(qualifiedName, ':');
    return colon ? colon + 1 : qualifiedName;
}

std::string NamespaceOf(const pugi::xml_node& element) {
    const std::string prefix = PrefixOf(element.name());
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    for (pugi::xml_node node = element; node && node.type() == pugi::node_element;
         node = node.parent()) {
        if (const pugi::xml_attribute bound = node.attribute(declaration.c_str()))
            return bound.value();
    }
    return {};
}

pugi::xml_node Child(const pugi::xml_node& parent, const char* name) {
    if (!parent)
        return {};
    const std::string parentNamespace = NamespaceOf(parent);
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        if (std::strcmp(child.name(), name) != 0 && std::strcmp(LocalName(child.name()), name) != 0)
            continue;
        if (parentNamespace.empty() || NamespaceOf(child) == parentNamespace)
            return child;
    }
    return {};
}

pugi::xml_attribute Attribute(const pugi::xml_node& element, const char* name) {
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        if (std::strcmp(a.name(), name) == 0 || std::strcmp(LocalName(a.name()), name) == 0)
            return a;
    }
    return {};
}

std::string Text(const pugi::xml_node& element) {
    const pugi::xml_node only = element.first_child();
    const bool single = only && !only.next_sibling();
    if (!single || (only.type() != pugi::node_pcdata && only.type() != pugi::node_cdata))
        throw ReadFailure("element has no text");
    return only.value();
}

std::string Text(const pugi::xml_attribute& attribute) {
    return attribute.value();
}

} // namespace xmllookup
