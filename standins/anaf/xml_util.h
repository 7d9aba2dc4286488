#pragma once
// pugixml by local name: clients write UBL and ANAF's XML with whatever namespace prefixes they
// like, and pugixml itself ignores namespaces.

#include <pugixml.hpp>

#include <cstring>

namespace standin {

inline const char* localName(const char* name) {
    const char* colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

// The first child element of `parent` with local name `name`.
inline pugi::xml_node child(pugi::xml_node parent, const char* name) {
    for (auto c : parent.children())
        if (c.type() == pugi::node_element && std::strcmp(localName(c.name()), name) == 0) return c;
    return {};
}

}  // namespace standin
