// The recipient list against RFC 4180's corner cases: each row of the table is
// a file, what it must give (the columns, then per row "line:address|fields"),
// and the rows left out.
#include <gtest/gtest.h>

#include "core/CsvList.h"

namespace {

std::string Describe(const RecipientList& list) {
    std::string s;
    for (const std::string& c : list.listColumns) s += c + ";";
    for (const ListRow& r : list.listRows) {
        s += "\n" + std::to_string(r.nLine) + ":" + r.address.EnvelopeAddress();
        for (const std::string& f : r.listFields) s += "|" + f;
    }
    for (const ListRowProblem& p : list.listBadRows) s += "\nbad " + std::to_string(p.nLine) + ":" + p.strAddress;
    for (const ListRowProblem& p : list.listDuplicates)
        s += "\ndup " + std::to_string(p.nLine) + ":" + p.strAddress + " (" + p.strReason + ")";
    return s;
}

TEST(RecipientList, Rfc4180CornerCases) {
    struct Case {
        const char* name;
        std::string text;
        std::string column;
        std::string expected;  // Describe(), or "error: ..." for a refusal
    } cases[] = {
        {"plain, LF ends, missing field empty", "email,name\na@x.org,Ann\nb@x.org\n", "",
         "email;name;\n2:a@x.org|a@x.org|Ann\n3:b@x.org|b@x.org|"},
        {"byte-order mark, CRLF, no final line end", "\xEF\xBB\xBF" "Email , Code\r\na@x.org,1", "",
         "Email;Code;\n2:a@x.org|a@x.org|1"},
        {"quotes: doubled quote, comma and CRLF inside, line numbers after",
         "email,note\r\na@x.org,\"say \"\"hi\"\", then\r\nbye\"\r\nb@x.org,\"\"\r\n", "",
         "email;note;\n2:a@x.org|a@x.org|say \"hi\", then\r\nbye\n4:b@x.org|b@x.org|"},
        {"blank lines are no rows", "email\n\na@x.org\n\n", "", "email;\n3:a@x.org|a@x.org"},
        {"bad addresses skipped with their line", "email\nnot-an-address\n\"a@x.org, b@x.org\"\n\nc@x.org\n", "",
         "email;\n5:c@x.org|c@x.org\nbad 2:not-an-address\nbad 3:a@x.org, b@x.org"},
        {"duplicates sent once, case of the address aside", "email\na@x.org\nA@X.ORG\n", "",
         "email;\n2:a@x.org|a@x.org\ndup 3:A@X.ORG (same address as line 2)"},
        {"display-name form and another column", "mail,email\n\"Ann <a@x.org>\",junk\n", "Mail",
         "mail;email;\n2:a@x.org|Ann <a@x.org>|junk"},
        {"address column missing", "name\nAnn\n", "", "error: the list has no column 'email'"},
        {"unterminated quote", "email\n\"a@x.org\n", "", "error: line 2: a quoted field has no closing quote"},
        {"text after a closing quote", "email\n\"a\"b@x.org\n", "", "error: line 2: text after a closing quote"},
        {"empty file", "", "", "error: the list is empty: it needs a header row naming its columns"},
    };
    for (const Case& c : cases) {
        RecipientList list;
        std::string error;
        bool ok = ReadRecipientList(c.text, c.column, list, error);
        EXPECT_EQ(ok ? Describe(list) : "error: " + error, c.expected) << c.name;
    }
}

} // namespace
