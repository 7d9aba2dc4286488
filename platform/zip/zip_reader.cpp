#include "platform/zip/zip_reader.h"

#include <zip.h>

namespace platform::zip {
namespace {

std::string libzipMessage(zip_error_t* error) {
    const char* text = zip_error_strerror(error);
    return text ? text : "unknown error";
}

struct FileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

}  // namespace

Archive::Archive(std::span<const unsigned char> bytes, std::uint64_t maxEntrySize)
    : bytes_(bytes.begin(), bytes.end()), maxEntrySize_(maxEntrySize) {
    // libzip takes no bytes for a new, empty archive; an answer without bytes is no archive.
    if (bytes_.empty()) throw Error("Arhiva zip nu poate fi citita: nu are niciun octet.");
    zip_error_t error;
    zip_error_init(&error);
    // libzip reads from the buffer in place: bytes_ lives as long as the archive.
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
    if (!source) {
        const std::string message = libzipMessage(&error);
        zip_error_fini(&error);
        throw Error("Arhiva zip nu poate fi citita: " + message);
    }
    archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive_) {
        zip_source_free(source);  // on failure the source stays ours
        const std::string message = libzipMessage(&error);
        zip_error_fini(&error);
        throw Error("Arhiva zip nu poate fi citita: " + message);
    }
    zip_error_fini(&error);
}

Archive::~Archive() {
    if (archive_) zip_discard(archive_);  // read-only: nothing to write back
}

std::int64_t Archive::entryCount() const { return zip_get_num_entries(archive_, 0); }

std::vector<std::string> Archive::entryNames() const {
    std::vector<std::string> names;
    const auto count = entryCount();
    for (std::int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        names.emplace_back(name ? name : "");
    }
    return names;
}

bool Archive::contains(const std::string& name) const {
    return zip_name_locate(archive_, name.c_str(), ZIP_FL_ENC_RAW) >= 0;
}

std::vector<unsigned char> Archive::read(const std::string& name) const {
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0) throw Error("Fisierul " + name + " nu exista in arhiva zip.");

    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0));
    if (!file)
        throw Error("Fisierul " + name + " din arhiva zip nu poate fi citit: " +
                    libzipMessage(zip_get_error(archive_)));

    // The size in the directory can lie: count what really comes out and stop past the bound.
    std::vector<unsigned char> out;
    unsigned char chunk[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), chunk, sizeof chunk);
        if (n < 0)
            throw Error("Fisierul " + name + " din arhiva zip nu poate fi citit: " +
                        libzipMessage(zip_file_get_error(file.get())));
        if (n == 0) break;
        if (out.size() + static_cast<std::uint64_t>(n) > maxEntrySize_)
            throw Error("Fisierul " + name + " din arhiva zip depaseste dimensiunea maxima de " +
                        std::to_string(maxEntrySize_) + " octeti.");
        out.insert(out.end(), chunk, chunk + n);
    }
    return out;
}

std::string Archive::readText(const std::string& name) const {
    const auto bytes = read(name);
    return validUtf8(std::string(bytes.begin(), bytes.end()));
}

std::string validUtf8(const std::string& bytes) {
    static const std::string replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size());
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto continuation = [&](size_t i) { return i < bytes.size() && (byte(i) & 0xC0) == 0x80; };
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char b = byte(i);
        size_t length = 0;
        if (b < 0x80) length = 1;
        else if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b >= 0xE0 && b <= 0xEF) length = 3;
        else if (b >= 0xF0 && b <= 0xF4) length = 4;
        bool ok = length > 0;
        for (size_t k = 1; ok && k < length; ++k) ok = continuation(i + k);
        if (ok && length == 3) {  // no overlong forms, no surrogates
            const unsigned char c = byte(i + 1);
            ok = !(b == 0xE0 && c < 0xA0) && !(b == 0xED && c >= 0xA0);
        }
        if (ok && length == 4) {  // no overlong forms, nothing past U+10FFFF
            const unsigned char c = byte(i + 1);
            ok = !(b == 0xF0 && c < 0x90) && !(b == 0xF4 && c >= 0x90);
        }
        if (ok) {
            out.append(bytes, i, length);
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

}  // namespace platform::zip
