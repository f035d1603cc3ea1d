// Fields of a list in the Subject and the page: one table of templates, rows
// and what each recipient's Subject and page must read.
#include <gtest/gtest.h>

#include "compose/HeaderFormat.h"
#include "compose/Personalise.h"

namespace {

TEST(Personalise, FieldsFilledEscapedOrRefused) {
    RecipientList list;
    std::string error;
    ASSERT_TRUE(ReadRecipientList("email,name,code\n"
                                  "a@x.org,\"Zoë <&> \"\"Q\"\"\",'1'\n"
                                  "b@x.org,,\n",
                                  "", list, error))
        << error;
    struct Case {
        const char* name;
        std::string subject, page;
        std::size_t row;
        bool utf8Page;
        std::string subjectOut, pageOut;  // pageOut "error: ..." for a refusal
    } cases[] = {
        {"escaped in the page, as text in the subject", "Hi {{name}}", "<p>{{ name }} {{code}}</p>", 0, true,
         "Hi Zoë <&> \"Q\"", "<p>Zoë &lt;&amp;&gt; &quot;Q&quot; &#39;1&#39;</p>"},
        {"non-UTF-8 page gets character references", "", "<p>{{name}}</p>", 0, false, "",
         "<p>Zo&#235; &lt;&amp;&gt; &quot;Q&quot;</p>"},
        {"default for an empty field, as written", "Hi {{name|there}}", "{{name|<b>friend</b>}}{{code|}}", 1, true,
         "Hi there", "<b>friend</b>"},
        {"column names without case; marks without end stay", "{{NAME|x}}", "{{ {{code}} }}{{ x", 1, true, "x",
         "{{  }}{{ x"},
        {"unknown column refused", "{{name}}", "<p>{{first name}}</p>", 0, true, "",
         "error: the field {{first name}} names no column of the list"},
    };
    for (const Case& c : cases) {
        CPersonalTemplate t(c.subject, c.page, c.utf8Page);
        if (!t.Check(list.listColumns, error)) {
            EXPECT_EQ("error: " + error, c.pageOut) << c.name;
            continue;
        }
        const ListRow& row = list.listRows[c.row];
        EXPECT_EQ(t.Subject(list, row), c.subjectOut) << c.name;
        EXPECT_EQ(t.Fill(c.page, list, row), c.pageOut) << c.name;
    }
    // The filled subject goes out as RFC 2047, and a field cannot add a header line.
    ASSERT_TRUE(ReadRecipientList("email,name\na@x.org,\"Zoë\r\nBcc: all@x.org\"\n", "", list, error));
    std::string line;
    ASSERT_TRUE(FormatSubjectHeader(CPersonalTemplate("Hi {{name}}", "").Subject(list, list.listRows[0]), line, error));
    EXPECT_EQ(line, "Subject: =?UTF-8?B?SGkgWm/DqyAgQmNjOiBhbGxAeC5vcmc=?=\r\n");
    PersonalPreview preview;
    ASSERT_TRUE(PreviewRow(list, 0, "{{name}}", "<i>{{email}}</i>", preview, error));
    EXPECT_EQ(preview.strTo, "\"Zoë  Bcc: all@x.org\" <a@x.org>");
    EXPECT_EQ(preview.strPage, "<i>a@x.org</i>");
}

} // namespace
