#pragma once
// Fields of a recipient list in the Subject and the page: {{column}} or
// {{column|default}}, the default standing for an empty field. In the page
// the value is HTML-escaped; the Subject takes it as text (its header is
// encoded as RFC 2047 where needed when the message is written).
#include <string>
#include <vector>

#include "core/CsvList.h"

class CPersonalTemplate {
public:
    // Finds the fields of subject and page (the page in its own charset).
    // bUtf8Page: the page's charset is UTF-8; otherwise non-ASCII values go
    // into it as character references.
    CPersonalTemplate(const std::string& strSubject, const std::string& strPage, bool bUtf8Page = true);

    // Every field names one of columns; otherwise false, naming the first
    // unknown one. Called before anything is sent.
    bool Check(const std::vector<std::string>& columns, std::string& strError) const;
    bool HasFields() const { return !m_listUsed.empty(); }

    std::string Subject(const RecipientList& list, const ListRow& row) const;
    // Any page text with its fields filled (the same marks may be filled in
    // the page as rewritten for the message and in its plain-text source).
    std::string Fill(const std::string& strText, const RecipientList& list, const ListRow& row,
                     bool bHtml = true) const;
    // A URL (List-Unsubscribe) with its fields filled, percent-encoded.
    std::string FillUrl(const std::string& strUrl, const RecipientList& list, const ListRow& row) const;

private:
    std::string m_strSubject;
    bool m_bUtf8Page = true;
    std::vector<std::string> m_listUsed;  // column names, in order met
};

// The To field of row's message: the address, with the name column as its
// display name when there is one.
std::string RecipientToField(const RecipientList& list, const ListRow& row);

// What one recipient's message looks like, for a look before the send.
struct PersonalPreview {
    std::string strTo;       // display name and address, as the To field has it
    std::string strSubject;  // filled, not encoded
    std::string strPage;     // the page text, filled
};

// The preview of list.listRows[nRow]; false with why for an unknown field.
bool PreviewRow(const RecipientList& list, std::size_t nRow, const std::string& strSubject,
                const std::string& strPage, PersonalPreview& preview, std::string& strError);
