#pragma once
// Reads what clients send: whether a text is well-formed XML, the checks that ANAF's validation
// reports on a UBL invoice (a practical subset of EN 16931 and CIUS-RO), and the values shown
// on the PDF of a transformed invoice. Namespace prefixes play no part: elements are matched by
// local name.

#include <initializer_list>
#include <string>
#include <vector>

namespace standin {

struct XmlCheck {
    bool wellFormed = false;
    std::string rootName;  // local name of the root element
    std::string error;     // parser message when not well-formed
};
XmlCheck checkXml(const std::string& text);

// ANAF-style messages ("E: validari ... eroare: ..."); empty when the document passes.
// `expectedRoot` is "Invoice" or "CreditNote".
std::vector<std::string> validateUbl(const std::string& text, const std::string& expectedRoot);

// Text lines for the PDF: title, number, dates, parties, lines, totals. Works on any
// well-formed XML; what is missing is left out.
std::vector<std::string> invoiceLines(const std::string& text);

// The text of the element at `path` (local names) below the root, or empty.
std::string textAt(const std::string& text, std::initializer_list<const char*> path);

// The value of attribute `name` on the first element with local name `element`, or empty.
std::string attributeOf(const std::string& text, const std::string& element, const std::string& name);

}  // namespace standin
