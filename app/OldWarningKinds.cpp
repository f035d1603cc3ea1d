#include "app/OldWarningKinds.h"

#include <string_view>

#include "check/PageReport.h"

namespace {

// The hash earlier versions kept (FNV-1a).
std::uint32_t OldHash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

// The sentences as they were when their hashes were stored. They stay as they
// were here whatever the check says now, or the hashes would no longer match.
// A row was known by its whole reason: one of these, alone or followed by
// "; " and the SVG sentence (such a row now has both kinds, so both are
// hidden, the SVG's alone where the other is no warning); a warning about the
// message by its text after the figure ("...: Gmail clips it ...").
const char kOldSvg[] = "Outlook for Windows shows no SVG";
const struct {
    check::Reason reason;
    const char* text;
} kOldRows[] = {
    {check::Reason::DataImage, "Gmail shows no data: images"},
    {check::Reason::DataAddress, "a data: address stays as written; many mail programs drop it"},
    {check::Reason::MalformedData, "a malformed data: address stays as written; mail programs drop it"},
    {check::Reason::CssUrl, "CSS background images in url() stay as written: recipients see no image"},
    {check::Reason::CssImport, "@import stays as written: recipients' programs do not load that style sheet"},
    {check::Reason::Srcset, "srcset stays as written: programs that use it show no image"},
    {check::Reason::Media, "video and audio are not embedded, and most mail programs do not play them"},
    {check::Reason::Poster, "the poster image is not embedded: recipients see no image"},
    {check::Reason::Frame, "mail programs remove <iframe>"},
    {check::Reason::ObjectOrEmbed, "mail programs remove <object> and <embed>"},
    {check::Reason::NotFoundByComposer,
     "the composer does not find this value as written (for instance after a '>' inside an earlier value): it "
     "stays as written"},
    {check::Reason::InsideAnotherValue, "lies inside another reference's text: it stays as written"},
    {check::Reason::RemoteStyleSheet, "a remote style sheet stays a link: Gmail and most webmail remove it"},
    {check::Reason::SheetFileNotEmbedded, "stays as written: the file is missing or not safe to send"},
    {check::Reason::NoScheme,
     "an address without its scheme: mail programs have no page address to complete it from; write https:"},
    {check::Reason::EmptyValue, "empty value: left as written"},
    {check::Reason::NotEmbeddedForSafety,
     "not embedded for safety (outside the page's folder and not an image, style sheet, script, font or icon, or a "
     "private file): left as written"},
    // Not warnings alone; with the SVG sentence, a warning of that kind only.
    {check::Reason::RemoteImage, "left as a remote address: most mail programs block it until the reader allows"},
    {check::Reason::NotAFile, "not a file: left as written"},
};
const struct {
    check::FindingKind kind;
    const char* text;
} kOldFindings[] = {
    {check::FindingKind::PageNotParsed,
     "only what the composer finds is listed, not what an HTML parser would (srcset, media, frames, images without "
     "alt text)"},
    {check::FindingKind::HtmlPartClipped, "Gmail clips it at 102 KB and hides the rest behind a link"},
    {check::FindingKind::ImageWithoutAlt, "with images blocked, or to a screen reader, they are nothing"},
};

} // namespace

std::vector<std::string> KindsOfOldWarning(std::uint32_t hash) {
    const std::string svg = check::KindName(check::Reason::Svg);
    if (hash == OldHash(kOldSvg)) return {svg};
    for (const auto& old : kOldRows) {
        const bool warns = check::ReasonSeverity(old.reason) == check::Severity::Warning;
        if (warns && hash == OldHash(old.text)) return {check::KindName(old.reason)};
        if (hash == OldHash(std::string(old.text) + "; " + kOldSvg)) {
            if (!warns) return {svg};
            return {check::KindName(old.reason), svg};
        }
    }
    for (const auto& old : kOldFindings)
        if (hash == OldHash(old.text)) return {check::KindName(old.kind)};
    return {};
}
