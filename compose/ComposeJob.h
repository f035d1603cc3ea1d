#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where a composition stands. It is called on the composing thread.
class IProgress {
public:
    virtual ~IProgress() = default;
    // nDone of nTotal bytes (the page, its files and the attachments) are
    // encoded. Returning false stops the composition at the next buffer; it
    // then fails and leaves no output file.
    virtual bool OnBytes(std::uint64_t nDone, std::uint64_t nTotal) = 0;
    // The message is complete and on the disk but not yet in place. Returning
    // false drops it as a cancel would; after true nothing stops the composition.
    virtual bool OnCommitting() { return true; }
};

// One attribute value to rewrite to "cid:" + Content-ID.
struct ReferenceEntry {
    std::string m_strContentId;
    std::int32_t m_nPosition = 0;  // first byte of the value in the HTML text
    std::int32_t m_nLength = 0;    // bytes of the value, quotes excluded
};

// The inputs of one composition.
struct ComposeJob {
    std::string m_strOutputPath;
    // Files the run writes besides the message (a preview's picture): like the
    // message, none of them may be a file the composition reads.
    std::vector<std::string> m_listOtherOutputs;
    // Replace an output file that is read-only, as cp --force does.
    bool m_bReplaceReadOnly = false;
    std::string m_strHtmlPath;  // full path: must contain a '/'
    std::vector<std::string> m_listAttachments;
    std::string m_strSubject;
    std::string m_strFrom;
    std::string m_strTo;
    std::string m_strCc;
    // Also carry what webmail drops or hides (data: URIs, CSS images, linked
    // style sheets) and add a plain-text alternative. Off, the message is as before.
    bool m_bPrepareForWebmail = false;
    // For a server that takes 7-bit data only: an attached message with 8-bit
    // bytes goes as base64 data, since a message part may not be encoded.
    bool m_bSevenBit = false;
    // A URL or mailto: address for List-Unsubscribe; empty: no such field.
    std::string m_strListUnsubscribe;
    IProgress* m_pProgress = nullptr;  // borrowed; may be null
};
