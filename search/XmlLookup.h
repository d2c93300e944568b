#pragma once

#include <pugixml.hpp>

#include <stdexcept>
#include <string>

// Lookups over a parsed answer that behave like a namespace-aware document
// model: elements know their namespace from the xmlns declarations in scope.
namespace xmllookup {

// A read that found no usable text; ends the reading of one row.
struct ReadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The namespace URI of an element: the one bound to its prefix (or the default
// namespace for an unprefixed name) by the nearest declaring ancestor-or-self;
// empty when none is bound.
std::string namespaceOf(const pugi::xml_node& element);

// The part of a qualified name after its prefix.
const char* localName(const char* qualifiedName);

// The first child element, in document order, whose qualified or local name is
// `name` and which shares the parent's namespace (any child when the parent has
// no namespace). An empty node when none matches.
pugi::xml_node child(const pugi::xml_node& parent, const char* name);

// The first attribute whose qualified or local name is `name`, whatever its
// namespace. An empty attribute when none matches.
pugi::xml_attribute attribute(const pugi::xml_node& element, const char* name);

// The text of an element that holds exactly one node, a text node; throws
// ReadFailure for a missing element, an empty one or one with other content.
std::string text(const pugi::xml_node& element);

// The value of an attribute; a missing attribute reads as empty.
std::string text(const pugi::xml_attribute& attribute);

} // namespace xmllookup
