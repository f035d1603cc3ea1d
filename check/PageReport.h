#pragma once
// The pre-send check of one page: a row for every reference the page makes and
// what the composer does with it, then figures about the whole message.
#include <cstdint>
#include <string>
#include <vector>

#include "check/ClientSupport.h"
#include "check/LinkCheck.h"
#include "check/Severity.h"
#include "check/SpamCheck.h"
#include "compose/ComposeJob.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"

namespace check {

enum class Verdict {
    Embedded,              // becomes a part of the message
    SamePart,              // the same file as an earlier reference: shares its part
    Remote,                // left as a remote address
    Missing,               // names no file
    NotRegularFile,        // a folder, a pipe or a device
    Unreadable,            // a file this user may not read
    NotEmbeddedForSafety,  // a readable file the composer chose not to embed
    NotEmbedded,           // a kind of reference the composer never embeds
    NotAFile,              // a fragment, a mail address or another scheme
    Inlined,               // a linked style sheet that becomes a <style> element
};

// Why a row ends as it does. Programs and the window's "Don't show again" go
// by these, through KindName, so a reworded sentence keeps its kind.
enum class Reason : std::uint8_t {
    None,  // embedded or sharing a part: the verdict says it all
    Svg,
    DataImage,
    DataAddress,
    MalformedData,
    CssUrl,
    CssImport,
    Srcset,
    Media,
    Poster,
    Frame,
    ObjectOrEmbed,
    NotFoundByComposer,
    InsideAnotherValue,
    RemoteStyleSheet,
    SheetFileNotEmbedded,
    InlinedStyleSheet,
    RemoteImage,
    Remote,
    NoScheme,
    NotAFile,
    EmptyValue,
    NotEmbeddedForSafety,
    MissingFile,
    NotRegularFile,
    Unreadable,
};

// What a statement about the whole message is about.
enum class FindingKind : std::uint8_t {
    CannotCompose,
    PageUnreadable,
    PageNotParsed,
    OverSizeLimit,
    OverServerSizeLimit,
    HtmlPartClipped,
    RemoteImages,
    ImageWithoutAlt,
    OutOfMemory,
};

struct Row {
    std::string strSource;  // the style sheet the reference is written in; empty for the page
    std::uint32_t nLine = 0;
    std::uint32_t nColumn = 0;  // 1-based, in characters
    std::string strTag;         // element name; "style" for a <style> block, "" in a style sheet
    std::string strAttribute;   // "url()" and "@import" for CSS, "" for an inline <svg>
    std::string strValue;       // as written
    Verdict verdict = Verdict::NotAFile;
    Severity severity = Severity::Info;
    Reason reason = Reason::None;
    bool bSvg = false;   // an SVG image, which Outlook for Windows does not show, besides the reason
    std::string strWhy;  // what happens and why it matters; for a part, WhyText says it
    bool bImage = false;  // an image the recipient's program would fetch or show
    std::int32_t nPart = -1;  // Embedded and SamePart: index in Report::listParts
    std::string strFile;      // a local value that stays as written: the file looked up
    // "Prepare for webmail" embeds or inlines it: when the job has the option
    // on, the verdict already says what it does; off, it would.
    bool bFixedByWebmail = false;
};

struct Place {
    std::uint32_t nLine = 0;
    std::uint32_t nColumn = 0;
};

// One embedded file, in the order of the message.
struct Part {
    std::string strFile;
    std::string strContentType;
    std::string strContentId;
    std::uint64_t nSize = 0;  // of the file, before base64
    Place first;              // of the reference that made it
};

// A statement about the whole message.
struct Finding {
    FindingKind kind = FindingKind::CannotCompose;
    Severity severity = Severity::Info;
    std::string strText;
};

struct Figures {
    bool bSizeKnown = false;  // false when the message could not be composed
    std::uint64_t nMessageSize = 0;  // every byte of the message as composed
    std::uint64_t nHtmlPartSize = 0;  // the rewritten page, decoded
    std::uint64_t nServerSizeLimit = 0;  // the SIZE the SMTP server announced; 0 when unknown
    unsigned nRemoteImages = 0;
    std::vector<Place> listImagesWithoutAlt;
};

// Known limits of the recipients' side.
inline constexpr std::uint64_t kGmailClipSize = 102 * 1024;
inline constexpr std::uint64_t kMessageSizeLimit = 25 * 1024 * 1024;  // Gmail, Outlook.com

struct Report {
    std::string strPage;
    bool bPrepareForWebmail = false;  // the job's option, which the rows' verdicts follow
    std::vector<Row> listRows;  // in page order; a style sheet's rows follow the reference that links it
    std::vector<Part> listParts;
    Figures figures;
    std::vector<Finding> listFindings;
    // Only when asked for; its warnings are not counted with the message's.
    SupportReport clientSupport;
    // Filled by CheckSpam and CheckLinks, which the caller runs beside or
    // after CheckPage; like client support, they never make errors.
    SpamVerdict spam;
    LinkReport links;
    // Every http(s) address of an <a> or <area> the parser found, unchecked:
    // LinkTargets reads them with the remote rows.
    std::vector<LinkResult> listAnchors;
    // What the composer decided; when figures.bSizeKnown, a composition of the
    // same job may write from it instead of scanning the page again.
    MessagePlan plan;

    unsigned Count(Severity severity) const;
    bool HasErrors() const { return Count(Severity::Error) > 0; }
};

// Checks the message the job would compose. Reads the page and its files but
// writes nothing; the sizes are those of a composition with the same random draws.
// With clients (ids of the caniemail data), also which of them support the
// features the page and its style sheets use.
Report CheckPage(const ComposeJob& job, std::uint64_t nServerSizeLimit = 0,
                 const platform::Platform& env = platform::Platform(),
                 const std::vector<std::string>* clients = nullptr);

// What happens to the row's value and why it matters, in one sentence.
std::string WhyText(const Report& report, const Row& row);

const char* SeverityName(Severity severity);
const char* VerdictName(Verdict verdict);
// Stable kebab-case ids, one namespace for both: "srcset", "image-without-alt".
const char* KindName(Reason reason);
const char* KindName(FindingKind kind);
// The row's kinds: its reason, then Svg when bSvg adds it; none for a plain part.
std::vector<Reason> RowKinds(const Row& row);
// What a row with only this reason says, and how much it matters.
const char* ReasonText(Reason reason);
Severity ReasonSeverity(Reason reason);

} // namespace check
