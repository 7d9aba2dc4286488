#include "archive.h"

#include <zip.h>

#include <cstdio>
#include <stdexcept>

namespace standin {
namespace {

// Latin-1 for the PDF's WinAnsi font encoding; Romanian letters outside it lose their accent.
std::string toLatin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned code = c;
        std::size_t len = 1;
        if (c >= 0xF0) code = c & 0x07u, len = 4;
        else if (c >= 0xE0) code = c & 0x0Fu, len = 3;
        else if (c >= 0xC0) code = c & 0x1Fu, len = 2;
        else if (c >= 0x80) code = '?';
        for (std::size_t k = 1; k < len; ++k)
            code = i + k < utf8.size() ? (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu) : '?';
        i += len;
        switch (code) {
            case 0x0102: code = 'A'; break;
            case 0x0103: code = 'a'; break;
            case 0x0218: case 0x015E: code = 'S'; break;
            case 0x0219: case 0x015F: code = 's'; break;
            case 0x021A: case 0x0162: code = 'T'; break;
            case 0x021B: case 0x0163: code = 't'; break;
            default: break;
        }
        out += static_cast<char>(code < 0x20 ? ' ' : code <= 0xFF ? code : '?');
    }
    return out;
}

std::string pdfString(const std::string& utf8) {
    std::string out = "(";
    for (char ch : toLatin1(utf8)) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '(' || ch == ')' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c >= 0x80) {
            char oct[8];
            std::snprintf(oct, sizeof oct, "\\%03o", c);
            out += oct;
        } else {
            out += ch;
        }
    }
    return out + ")";
}

}  // namespace

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) throw std::runtime_error("zip buffer");
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(buffer);
        throw std::runtime_error("zip open");
    }
    zip_source_keep(buffer);  // read back after zip_close
    for (const auto& [name, data] : entries) {
        zip_source_t* s = zip_source_buffer(archive, data.data(), data.size(), 0);
        const zip_int64_t index = s ? zip_file_add(archive, name.c_str(), s, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(s);
            zip_discard(archive);
            zip_source_free(buffer);
            throw std::runtime_error("zip add");
        }
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 1700000000, 0);
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        throw std::runtime_error("zip close");
    }
    std::string out;
    if (zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(buffer);
        zip_source_seek(buffer, 0, SEEK_SET);
        out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0) zip_source_read(buffer, out.data(), static_cast<zip_uint64_t>(size));
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return out;
}

std::string makePdf(const std::vector<std::string>& lines) {
    constexpr std::size_t kMaxLines = 56;
    std::string stream = "BT /F1 10 Tf 14 TL 50 800 Td";
    for (std::size_t i = 0; i < lines.size() && i < kMaxLines; ++i)
        stream += (i ? " T* " : " ") + pdfString(i + 1 == kMaxLines && lines.size() > kMaxLines ? "..." : lines[i]) + " Tj";
    stream += " ET";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Producer (anaf-standin) /Title (Factura) >>"};
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", o);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info 6 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

}  // namespace standin
