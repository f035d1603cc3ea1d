#pragma once
// Header text that every reader reads: RFC 2047 encoded-words (UTF-8, B
// encoding), RFC 2231 parameters and folding at 78 characters.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/AddressList.h"

// One header field built from tokens joined by single spaces. A token that
// would pass the fold width goes to a new line (CR LF, then the space), unless
// the line holds nothing but the field's start.
class HeaderFolder {
public:
    static constexpr std::size_t kFoldWidth = 78;
    static constexpr std::size_t kMaxLine = 998;  // octets before CR LF
    static constexpr std::size_t kUnfolded = static_cast<std::size_t>(-1);  // a width that never folds

    explicit HeaderFolder(std::string_view start, std::size_t width = kFoldWidth);
    // reserve: characters the caller appends right after the token.
    void Add(std::string_view token, std::size_t reserve = 0);
    // Appends to the current line without a space or a fold.
    void Append(std::string_view text) { m_text += text; }
    // text (UTF-8) as encoded-words of at most 75 characters each, cut only
    // between characters; each sized to the room left on its line. With
    // bJoinFirst the first word follows the current text without a space.
    // reserve: characters the caller appends after the words, kept free on each line.
    void AddEncodedWords(std::string_view text, bool bJoinFirst = false, std::size_t reserve = 0);
    // A display name or group name: as it is when it is plain words, quoted
    // when it holds specials, encoded-words when it holds non-ASCII characters.
    void AddPhrase(std::string_view name, std::size_t reserve = 0);
    // The list with ", " between addresses and folds between them.
    void AddAddressList(const AddressListResult& list);

    std::size_t LongestLine() const;
    const std::string& Text() const { return m_text; }  // without the final CR LF

private:
    std::size_t LineLength() const { return m_text.size() - m_nLineStart; }
    void Fold();
    void AddMailbox(const MailAddress& address, std::string_view suffix);

    std::string m_text;
    std::size_t m_nLineStart = 0;
    std::size_t m_nWidth;
    bool m_bLineEmpty = true;  // nothing added to this line yet
};

// "\tattr*=UTF-8''%C3%BC..." (RFC 2231), or numbered continuations
// ("\tattr*0*=...;\r\n\tattr*1*=...") when one line would pass 78 characters.
// No final CR LF.
std::string FormatExtendedParameter(std::string_view attribute, std::string_view text);

// "\tattr=\"=?UTF-8?B?...?=\"" for readers that know no RFC 2231, the words
// folded inside the quotes as needed. No final CR LF.
std::string FormatEncodedWordParameter(std::string_view attribute, std::string_view text);
