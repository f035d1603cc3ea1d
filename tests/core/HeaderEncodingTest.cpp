// Encoded-words, RFC 2231 parameters, folding and the UTF-8 reading of text.
#include <gtest/gtest.h>

#include <regex>

#include "TestUtil.h"
#include "core/HeaderEncoding.h"
#include "core/Utf8.h"
#include "platform/Codeset.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, (end = text.find("\r\n", start)) - start));
    return lines;
}

// Checks the words' limits and gives back what they carry.
std::string DecodeWords(const std::string& text) {
    static const std::regex word(R"(=\?UTF-8\?B\?([A-Za-z0-9+/=]*)\?=)");
    std::string decoded;
    for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it) {
        EXPECT_LE(it->length(), 75) << it->str();
        std::string piece = testutil::DecodeBase64((*it)[1].str());
        EXPECT_EQ(RepairUtf8(piece), piece) << "a word ends inside a character: " << it->str();
        decoded += piece;
    }
    return decoded;
}

const std::string kLongMixed = "Zo\xc3\xab and a much longer line with \xc3\xbcn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9 "
                               "and \xf0\x9f\x98\x80 \xe6\xbc\xa2\xe5\xad\x97 in it, long enough for several words";

TEST(EncodedWords, WholeCharactersShortWordsShortLines) {
    for (const std::string& start : {std::string("Subject:"), std::string("X-A-Rather-Long-Header-Name-Here:")})
        for (const std::string& text : {std::string("\xc3\xa9"), kLongMixed, std::string(100, '\xe2') /* repaired below */}) {
            std::string utf8 = RepairUtf8(text);
            HeaderFolder f(start);
            f.AddEncodedWords(utf8);
            EXPECT_EQ(DecodeWords(f.Text()), utf8) << f.Text();
            for (const std::string& line : Lines(f.Text())) EXPECT_LE(line.size(), 78u) << line;
            EXPECT_EQ(f.Text().rfind(start + " =?UTF-8?B?", 0), 0u) << "the first word shares the name's line";
        }
}

TEST(AddressHeader, FoldsBetweenAddressesAndEncodesNames) {
    AddressListResult list;
    std::string text = "Zo\xc3\xab \xc3\x9cnder <zoe@ex\xc3\xa4mple.de>, \"Doe, John\" <j@x.com>, T: a@b.c;";
    for (int i = 0; i < 40; ++i) text += ", user" + std::to_string(i) + "@example.org";
    ASSERT_TRUE(ParseAddressList(text, list)) << list.strError;
    HeaderFolder f("To:");
    f.AddAddressList(list);
    std::string unfolded;
    std::vector<std::string> lines = Lines(f.Text());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 78u) << lines[i];
        EXPECT_TRUE(i == 0 || lines[i][0] == ' ');
        EXPECT_TRUE(i + 1 == lines.size() || lines[i].back() == ',') << "folds come after an address: " << lines[i];
        unfolded += lines[i];
    }
    EXPECT_GT(lines.size(), 5u);
    EXPECT_EQ(unfolded.rfind("To: =?UTF-8?B?Wm/DqyDDnG5kZXI=?= <zoe@xn--exmple-cua.de>, \"Doe, John\" <j@x.com>, "
                             "T: a@b.c;, user0@example.org, user1@example.org,",
                             0),
              0u)
        << unfolded;
    EXPECT_EQ(unfolded.substr(unfolded.size() - 19), " user39@example.org") << unfolded;
}

TEST(FileNameParameters, Rfc2231AndEncodedWordForms) {
    std::string longName;
    for (int i = 0; i < 12; ++i) longName += "\xc3\xa4rger-\xe6\xbc\xa2 ";
    std::string ext = FormatExtendedParameter("filename", longName);
    std::string joined;
    int section = 0;
    static const std::regex part(R"(\tfilename\*(\d+)\*=(UTF-8'')?([^;]*);?)");
    for (const std::string& line : Lines(ext)) {
        EXPECT_LE(line.size(), 78u);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, part)) << line;
        EXPECT_EQ(std::stoi(m[1]), section);
        EXPECT_EQ(m[2].matched, section++ == 0);
        joined += m[3];
    }
    EXPECT_GT(section, 2);
    std::string decoded;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] != '%') {
            decoded += joined[i];
            continue;
        }
        decoded += static_cast<char>(std::stoi(joined.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    EXPECT_EQ(decoded, longName);

    std::string words = FormatEncodedWordParameter("name", longName);
    for (const std::string& line : Lines(words)) EXPECT_LE(line.size(), 78u);
    EXPECT_EQ(words.back(), '"');
    EXPECT_EQ(DecodeWords(words), longName);
}

TEST(Utf8Text, RepairAndCodesets) {
    struct {
        std::string in, codeset, out;
    } cases[] = {
        {"Zo\xc3\xab \xf0\x9f\x98\x80", "UTF-8", "Zo\xc3\xab \xf0\x9f\x98\x80"},
        {"\xe9t\xe9 \x80 \x81", "UTF-8", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xc2\x81"},  // windows-1252
        {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xc3", "UTF-8",  // overlong, surrogate, too high, cut short
         "\xc3\x80\xc2\xaf \xc3\xad\xc2\xa0\xe2\x82\xac \xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac \xc3\x83"},
        {"caf\xc3\xa9", "ANSI_X3.4-1968", "caf\xc3\xa9"},  // the C locale: UTF-8
        {"\xa4 \xe9", "ISO-8859-15", "\xe2\x82\xac \xc3\xa9"},
        {"\x82\xa0 \xff", "SHIFT_JIS", "\xe3\x81\x82 \xc3\xbf"},  // 0xff is no Shift JIS byte
    };
    for (const auto& c : cases) EXPECT_EQ(platform::TextToUtf8(c.in, c.codeset), c.out) << c.in << " in " << c.codeset;

    // The file check gives the same answer however the bytes are cut.
    for (const std::string& bytes : {std::string("plain"), std::string("\xc3\xa9t\xc3\xa9"),
                                     std::string("\xf0\x9f\x98\x80"), std::string("\xf0\x9f\x98"),
                                     std::string("\xe9t\xe9"), std::string("\xed\xa0\x80")}) {
        Utf8Check whole, bytewise;
        whole.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        for (char c : bytes) bytewise.Feed(reinterpret_cast<const unsigned char*>(&c), 1);
        bool want = !IsAscii(bytes) && RepairUtf8(bytes) == bytes;
        EXPECT_EQ(whole.IsUtf8WithNonAscii(), want) << bytes;
        EXPECT_EQ(bytewise.IsUtf8WithNonAscii(), want) << bytes;
    }
}

} // namespace
