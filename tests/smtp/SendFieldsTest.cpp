// The envelope a send takes from the header fields.
#include <gtest/gtest.h>

#include "smtp/SendFields.h"

namespace {

TEST(SendFields, EnvelopeIsAsciiWithDomainsAsALabels) {
    const struct {
        std::string from, to, cc;
        std::string envelope;  // "from > rcpt rcpt", or the refusal
        SendField field;
        std::string server = "mail.example.com";
    } cases[] = {
        {"Zo\xc3\xab <zoe@ex\xc3\xa4mple.de>, second@x.org", "\"Doe, John\" <j@example.com>; ann@example.com",
         "Team: c@z.org;", "zoe@xn--exmple-cua.de > j@example.com ann@example.com c@z.org", SendField::None},
        {"a@x.org", "b@y.org", "zo\xc3\xab@x.de",
         "The address \"zo\xc3\xab@x.de\" has a non-ASCII local part, which cannot be sent without SMTPUTF8.",
         SendField::Cc},
        {"a@x.org", "x<y>z <w@v.u>", "", "The address \"x<y>z <w@v.u>\" is not valid.", SendField::To},
        {"\"a<b\"@x.org", "b@y.org", "", "The address \"\"a<b\"@x.org\" contains '<' or '>'.", SendField::From},
        {"Team:;", "b@y.org", "", "Please enter mail \"From\".", SendField::From},
        {"a@x.org", "b@y.org", "", "No SMTP server is set. Please enter its name or IP address in the options.",
         SendField::Server, ""},
    };
    for (const auto& c : cases) {
        SendAddresses out;
        std::string message;
        SendField field;
        bool ok = CheckSendFields("/p.html", c.from, c.to, c.cc, c.server, out, message, field);
        std::string got = message;
        if (ok) {
            got = out.strFrom + " >";
            for (const std::string& r : out.listRecipients) got += " " + r;
        }
        EXPECT_EQ(got, c.envelope) << c.from << " / " << c.to << " / " << c.cc;
        EXPECT_EQ(field, c.field) << c.envelope;
    }
}

} // namespace
