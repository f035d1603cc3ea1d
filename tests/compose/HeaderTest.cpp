#include <gtest/gtest.h>

#include "TestUtil.h"
#include "compose/HeaderFormat.h"
#include "platform/System.h"

namespace {

std::string DateIn(const char* tz, std::time_t t) {
    testutil::ScopedTz zone(tz);
    std::tm local {};
    long off = 0;
    EXPECT_TRUE(platform::ToLocalTime(t, local, off));
    return FormatRfcDate(local, off);
}

TEST(HeaderLine, ValuesThatFitAreWrittenAsTyped) {
    EXPECT_EQ(FormatHeaderLine("Subject", ""), "Subject: \r\n");
    EXPECT_EQ(FormatHeaderLine("From", "Ann <ann@example.com>"), "From: Ann <ann@example.com>\r\n");
    EXPECT_EQ(FormatHeaderLine("Subject", "  two  spaces \"quoted\" \xe9t\xe9"),
              "Subject:   two  spaces \"quoted\" \xe9t\xe9\r\n");
}

TEST(HeaderLine, LineBreaksCannotStartANewHeader) {
    EXPECT_EQ(FormatHeaderLine("Subject", "Hi\r\nBcc: victim@example.com"), "Subject: Hi  Bcc: victim@example.com\r\n");
    EXPECT_EQ(FormatHeaderLine("To", "a@x\nb@y\rc@z"), "To: a@x b@y c@z\r\n");
}

TEST(HeaderLine, LongValuesFoldAtSpacesBelowTheLimit) {
    std::string words;
    for (int i = 0; i < 400; ++i) words += "word ";  // 2000 characters
    std::string out = FormatHeaderLine("Subject", words);
    std::string unfolded;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = out.substr(start, end - start);
        EXPECT_LE(line.size(), 998u);
        if (start > 0) {
            EXPECT_EQ(line[0], ' ') << "continuation lines start with white space";
        }
        unfolded += line;
        start = end + 2;
    }
    EXPECT_EQ(unfolded, "Subject: " + words) << "unfolding gives back the value";

    // A value exactly at the limit stays on one line.
    std::string exact(998 - 9, 'a');
    EXPECT_EQ(FormatHeaderLine("Subject", exact), "Subject: " + exact + "\r\n");
    // Without any space there is nowhere to fold: the value is kept whole.
    std::string solid(2000, 'b');
    EXPECT_EQ(FormatHeaderLine("Subject", solid), "Subject: " + solid + "\r\n");
}

TEST(HeaderLine, FileNamesAreQuotedSafely) {
    EXPECT_EQ(QuoteParameterValue("plain name.pdf"), "plain name.pdf");
    EXPECT_EQ(QuoteParameterValue("say \"hi\"\\x.txt"), "say \\\"hi\\\"\\\\x.txt");
    EXPECT_EQ(QuoteParameterValue("two\r\nlines.txt"), "two  lines.txt");
}

TEST(DateHeader, ZonesAndDaylightTime) {
    const std::time_t winter = 1796514092;  // 2026-12-05 23:41:32 UTC
    const std::time_t summer = 1783252800;  // 2026-07-05 12:00:00 UTC
    EXPECT_EQ(DateIn("UTC", winter), "Sat, 05 Dec 2026 23:41:32 -0000");
    EXPECT_EQ(DateIn("America/New_York", winter), "Sat, 05 Dec 2026 18:41:32 -0500");
    EXPECT_EQ(DateIn("America/New_York", summer), "Sun, 05 Jul 2026 08:00:00 -0400");
    EXPECT_EQ(DateIn("Asia/Kolkata", winter), "Sun, 06 Dec 2026 05:11:32 +0530");
    EXPECT_EQ(DateIn("Pacific/Marquesas", summer), "Sun, 05 Jul 2026 02:30:00 -0930");
}

} // namespace
