#pragma once
// What scanning a page decides, as one value: every reference with its verdict
// and its part, the page text the parts are cut from, and the message's random
// draws. Rewriting the page and writing the message are functions of it, and
// the check and the window read it instead of deciding again.
#include <cstdint>
#include <string>
#include <vector>

#include "compose/ComposeJob.h"
#include "platform/FileInfo.h"

// Which tag and attribute a scan found a value in.
enum class RefTag : std::uint8_t { Link, Script, Img, Input, Any, Style };
enum class RefAttribute : std::uint8_t { Href, Src, Background, CssUrl };

// What becomes of a value the scans found.
enum class RefVerdict : std::uint8_t {
    Embedded,          // "cid:" of its part
    Inlined,           // a style sheet's link, replaced by the sheet's text
    Remote,            // http://, https:// or ftp://: never looked up
    Overlapped,        // lay inside another reference's text, so it stays as written
    LeftOutForSafety,  // a readable file the safety rule keeps out
    NotFound,          // names no readable regular file, or no file at all
    DataUri,           // a data: address that stays as written
    Unusable,          // an empty or malformed value
};

// One attribute value that a scan found, in the order the scans found them.
struct PlannedReference {
    std::int32_t nPosition = 0;  // in MessagePlan::strPage
    std::int32_t nLength = 0;
    // The same extent in the page file's own bytes, whose line ends may be lone LFs.
    std::size_t nPageOffset = 0;
    std::size_t nPageLength = 0;
    RefTag tag = RefTag::Any;
    RefAttribute attribute = RefAttribute::Src;
    RefVerdict verdict = RefVerdict::NotFound;
    std::int32_t nPart = -1;  // index in MessagePlan::listParts, for Embedded
    // For a value that stays as written: the file looked up, made absolute from
    // the page's folder; empty when none was.
    std::string strFullPath;
};

// An address in a style sheet that the page links and that "Prepare for
// webmail" inlines, in the order the sheets were read.
struct PlannedSheetReference {
    std::string strSheet;            // full path of the sheet it is written in
    std::int32_t nLinkPosition = 0;  // of the page's <link> value that led to the sheet
    std::size_t nLinkPageOffset = 0;  // the same, in the page file's bytes
    std::size_t nOffset = 0;          // of the address in the sheet file's bytes
    std::size_t nLength = 0;
    bool bImport = false;
    bool bInlined = false;     // a local @import whose sheet became a <style> element
    std::int32_t nPart = -1;   // index in listParts; -1 when it stays as written
    std::string strContentId;  // of that part
};

// One embedded file or data: address, in the order of the message.
struct PlannedPart {
    std::string strPath;      // as the page wrote it, decoded; a made-up name for data
    std::string strFullPath;  // the file read; for data, strPath
    std::string strContentId;  // without angle brackets
    std::string strContentType;  // without parameters
    std::uint64_t nSize = 0;     // of the file or the data, before base64
    // A part made from a data: URI has no file: these hold its media type (a
    // header value, parameters included) and decoded bytes.
    bool bData = false;
    std::string strDataType;
    std::string strData;
};

// Page text replaced whole: a linked style sheet's tag by the sheet itself.
struct TextEdit {
    std::int32_t nPosition = 0;
    std::int32_t nLength = 0;
    std::string strText;
};

// A file the page refers to that stays out of the message for safety.
struct LeftOutEntry {
    std::string m_strPath;    // as the page wrote it, decoded
    std::string m_strReason;  // why, for people
};

struct MessagePlan {
    // The inputs of the job it was made for; the header fields and the output
    // are not part of a plan.
    std::string strHtmlPath;
    std::vector<std::string> listAttachments;
    bool bPrepareForWebmail = false;
    // The page as the message carries it: every lone LF preceded by a CR.
    std::string strPage;
    std::string strHtmlFolder;  // of the page, as given
    std::string strCharset;     // the HTML part's label
    bool bTextAlternative = false;

    std::vector<PlannedReference> listReferences;
    std::vector<PlannedSheetReference> listSheetReferences;
    std::vector<PlannedPart> listParts;
    // The values rewritten to "cid:", by position; with the edits they run
    // forward without overlap.
    std::vector<ReferenceEntry> listRewrites;
    std::vector<TextEdit> listEdits;  // by position

    std::vector<LeftOutEntry> listLeftOut;
    std::vector<std::string> listWarnings;
    std::vector<std::string> listSheetsRead;  // inlined, by the path read

    // The random draws of the message's frame, made once so that the size
    // the plan reports is the size of the message written from it.
    std::string strBoundary;
    std::string strRelatedBoundary;
    std::string strAlternativeBoundary;  // empty without the text alternative
    std::string strMessageIdToken;       // before "@"

    std::uint64_t nInputBytes = 0;  // the page, its files and the attachments: progress counts these

    // Every file the scan read or sized, as it was then: a plan whose files
    // have changed since must be made again.
    struct Input {
        std::string strPath;
        platform::FileStamp stamp;
    };
    std::vector<Input> listInputs;
    bool InputsUnchanged() const;
    // Whether a composition of job may write from this plan: made for the same
    // page, attachments and option, and no file of it changed since.
    bool StillFits(const ComposeJob& job) const;

    // The page with each rewritten value and each edit applied.
    std::string RewrittenPage() const;
    std::uint64_t RewrittenSize() const;
};
