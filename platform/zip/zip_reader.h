#pragma once
// Reading a ZIP archive held in memory (the message archives SPV returns), over libzip.
// Entries are found by their exact name. What one entry may inflate to is bounded, so a hostile
// or broken archive cannot exhaust memory.

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct zip;

namespace platform::zip {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Far above any real invoice (ANAF accepts uploads of a few MB), far below a memory problem.
inline constexpr std::uint64_t kDefaultMaxEntrySize = 256ull * 1024 * 1024;

class Archive {
public:
    // Copies the bytes and opens them as an archive; throws Error when they are not one.
    explicit Archive(std::span<const unsigned char> bytes,
                     std::uint64_t maxEntrySize = kDefaultMaxEntrySize);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    std::int64_t entryCount() const;
    std::vector<std::string> entryNames() const;
    bool contains(const std::string& name) const;  // exact, case-sensitive

    // The inflated bytes of an entry. Throws Error when the entry is missing, cannot be inflated
    // (corrupt data, bad checksum) or would inflate beyond the bound.
    std::vector<unsigned char> read(const std::string& name) const;
    // The entry decoded as UTF-8: a byte that is not part of a well-formed sequence becomes
    // U+FFFD, as a decoder does, so the text can be stored where only valid UTF-8 is accepted.
    std::string readText(const std::string& name) const;

private:
    std::vector<unsigned char> bytes_;
    std::uint64_t maxEntrySize_;
    ::zip* archive_ = nullptr;
};

// UTF-8 text with every ill-formed byte (stray continuation, overlong form, surrogate, past
// U+10FFFF, cut sequence) replaced by U+FFFD.
std::string validUtf8(const std::string& bytes);

}  // namespace platform::zip
