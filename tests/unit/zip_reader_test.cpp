#include <gtest/gtest.h>

#include <functional>

#include "platform/zip/zip_reader.h"
#include "support/zip_builder.h"

using platform::zip::Archive;
using platform::zip::Error;

namespace {

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(ZipReader, FindsEntriesByExactNameAndReadsThemBack) {
    const std::string invoice = "<?xml version=\"1.0\"?><Invoice>Țară</Invoice>";
    const auto bytes = testsupport::makeZip(
        {{"3001.xml", invoice}, {"semnatura_3001.xml", "<Signature/>"}, {"empty.txt", ""}});
    const Archive archive(bytes);

    EXPECT_EQ(archive.entryCount(), 3);
    EXPECT_EQ(archive.entryNames(),
              (std::vector<std::string>{"3001.xml", "semnatura_3001.xml", "empty.txt"}));
    EXPECT_EQ(archive.readText("3001.xml"), invoice);
    EXPECT_EQ(archive.readText("semnatura_3001.xml"), "<Signature/>");
    EXPECT_EQ(archive.readText("empty.txt"), "");
    EXPECT_TRUE(archive.contains("3001.xml"));
    // Names match exactly: no case folding, no directory stripping.
    EXPECT_FALSE(archive.contains("3001.XML"));
    EXPECT_FALSE(archive.contains("x/3001.xml"));
    EXPECT_NE(messageOf([&] { archive.read("3002.xml"); }).find("3002.xml"), std::string::npos);
}

TEST(ZipReader, RefusesBytesThatAreNotAnArchive) {
    const std::vector<std::vector<unsigned char>> inputs = {
        {},
        {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'},
    };
    for (const auto& input : inputs)
        EXPECT_THROW(Archive archive(input), Error) << input.size();

    // A real archive cut short loses its central directory.
    auto truncated = testsupport::makeZip({{"a.xml", std::string(5000, 'a')}});
    truncated.resize(truncated.size() / 2);
    EXPECT_THROW(Archive archive(truncated), Error);
}

TEST(ZipReader, CorruptEntryDataFailsOnRead) {
    std::string content;
    for (int i = 0; i < 4000; ++i) content += std::to_string(i * 7919 % 1000);
    auto bytes = testsupport::makeZip({{"a.xml", content}});
    // Flip bytes in the middle of the compressed data; the directory at the end stays intact.
    for (size_t i = 60; i < 80; ++i) bytes[i] ^= 0xFF;
    const Archive archive(bytes);
    EXPECT_THROW(archive.read("a.xml"), Error);
}

TEST(ZipReader, EntryInflatingBeyondTheBoundFailsInsteadOfExhaustingMemory) {
    // A megabyte of zeros compresses to about a kilobyte: the shape of a ZIP bomb.
    const auto bytes = testsupport::makeZip({{"bomb.xml", std::string(1 << 20, '\0')}});
    ASSERT_LT(bytes.size(), 16u * 1024);

    const Archive bounded(bytes, 64 * 1024);
    const auto message = messageOf([&] { bounded.read("bomb.xml"); });
    EXPECT_NE(message.find("bomb.xml"), std::string::npos) << message;
    EXPECT_NE(message.find("65536"), std::string::npos) << message;

    // Exactly at the bound still reads.
    const Archive exact(bytes, 1 << 20);
    EXPECT_EQ(exact.read("bomb.xml").size(), 1u << 20);
}

TEST(ZipReader, TextOfAnEntryIsWellFormedUtf8WithIllFormedBytesReplaced) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain ASCII", "plain ASCII"},
        {"\xC8\x9A\x61r\xC4\x83 \xE2\x82\xAC \xF0\x9F\x98\x80", "\xC8\x9A\x61r\xC4\x83 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xEF\xBB\xBF<a/>", "\xEF\xBB\xBF<a/>"},           // a BOM is a character, kept
        {"a\xE9z", "a" + r + "z"},                             // Latin-1 byte
        {"\x80x", r + "x"},                                    // stray continuation byte
        {"\xC0\xAF", r + r},                                   // overlong "/"
        {"\xE0\x80\xAF", r + r + r},                           // overlong, three bytes
        {"\xED\xA0\x80", r + r + r},                           // surrogate half
        {"\xF4\x90\x80\x80", r + r + r + r},                   // past U+10FFFF
        {"ok\xE2\x82", "ok" + r + r},                          // sequence cut at the end
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(platform::zip::validUtf8(input), expected) << input;

    const Archive archive(testsupport::makeZip({{"x.xml", "<a>\xE9</a>"}}));
    EXPECT_EQ(archive.readText("x.xml"), "<a>" + r + "</a>");
    EXPECT_EQ(archive.read("x.xml").size(), 8u);  // the bytes themselves stay as they are
}
