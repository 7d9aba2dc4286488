#pragma once
// The binary answers: a message's ZIP archive, built in memory, and the PDF of a transformed
// invoice (a real, minimal PDF that PDF readers and pdftotext accept).

#include <string>
#include <utility>
#include <vector>

namespace standin {

// A ZIP of the given entries (name, bytes), deflated, with a fixed time stamp so that the same
// entries always give the same bytes.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries);

// A one-page PDF (A4) showing `lines` of text; characters outside Latin-1 become their nearest
// ASCII letter (ș -> s) or '?'.
std::string makePdf(const std::vector<std::string>& lines);

}  // namespace standin
