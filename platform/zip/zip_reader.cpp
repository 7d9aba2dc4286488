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
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace platform::zip
