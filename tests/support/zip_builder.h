#pragma once
// Builds a ZIP archive in memory, for tests that need archives the stand-in does not hold
// (a missing entry, a third entry, an entry that inflates far).

#include <zip.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline std::vector<unsigned char> makeZip(
    const std::vector<std::pair<std::string, std::string>>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) throw std::runtime_error("zip buffer");
    zip_source_keep(buffer);  // we read the result back after zip_close
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(buffer);
        throw std::runtime_error("zip open");
    }
    for (const auto& [name, content] : entries) {
        // The data must outlive zip_close: libzip copies it only then.
        zip_source_t* data = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (!data || zip_file_add(archive, name.c_str(), data, ZIP_FL_ENC_UTF_8) < 0) {
            if (data) zip_source_free(data);
            zip_discard(archive);
            zip_source_free(buffer);
            throw std::runtime_error("zip add " + name);
        }
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        throw std::runtime_error("zip close");
    }
    zip_stat_t st;
    zip_stat_init(&st);
    std::vector<unsigned char> out;
    if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
        out.resize(static_cast<size_t>(st.size));
        const auto n = zip_source_read(buffer, out.data(), out.size());
        zip_source_close(buffer);
        if (n < 0) out.clear();
        else out.resize(static_cast<size_t>(n));
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    if (out.empty()) throw std::runtime_error("zip read back");
    return out;
}

}  // namespace testsupport
