#include "check/ReportFormat.h"

#include <cstdio>

#include "core/Ascii.h"
#include "core/Utf8.h"

namespace check {
namespace {

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// JSON wants UTF-8, strictly: a byte that does not start a well-formed
// sequence (a stray one, an overlong form, a surrogate, beyond U+10FFFF)
// stands for the Latin-1 character of the same value.
std::string JsonString(const std::string& s) {
    std::string text;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : Utf8CharLength(std::string_view(s).substr(i));
        if (n > 0) {
            text.append(s, i, n);
            i += n;
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return Quoted(text);
}

std::string Field(const char* name, const std::string& jsonValue) { return std::string("\"") + name + "\": " + jsonValue; }

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Kinds(const Row& row) {
    std::string out = "[";
    for (Reason kind : RowKinds(row)) out += (out.size() > 1 ? ", " : "") + Quoted(KindName(kind));
    return out + "]";
}

std::string PlaceText(const FeaturePlace& p) {
    return (p.strSource.empty() ? "" : p.strSource + " ") + std::to_string(p.nLine) + ":" + std::to_string(p.nColumn);
}

std::string ScoreText(const ClientScore& c) {
    if (!c.HasScore()) return "no score";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.0f%%", c.Score());
    return buf;
}

std::string ClientSupportText(const SupportReport& support) {
    if (!support.strError.empty()) return "Client support: " + ascii::Printable(support.strError) + "\n";
    std::string out = "Client support (caniemail.com data of " + support.strDataDate + "): " +
                      std::to_string(support.listFeatures.size()) + " features used, " +
                      std::to_string(support.Warnings()) + (support.Warnings() == 1 ? " warning\n" : " warnings\n");
    for (const ClientScore& c : support.listClients)
        out += "  " + c.strName + " (" + c.strId + "): " + ScoreText(c) + ", " + std::to_string(c.nYes) + " supported, " +
               std::to_string(c.nPartial) + " partly, " + std::to_string(c.nNo) + " not, " + std::to_string(c.nUnknown) +
               " unknown\n";
    for (const FeatureRow& f : support.listFeatures) {
        std::string line = std::string("  ") + (f.bWarning ? "warning" : "info") + ": " + f.strTitle + " (" + f.strUrl +
                           "): " + std::to_string(f.nCount) + (f.nCount == 1 ? " use, at " : " uses, at ");
        for (std::size_t i = 0; i < f.listPlaces.size(); ++i) line += (i ? ", " : "") + PlaceText(f.listPlaces[i]);
        if (f.nCount > f.listPlaces.size()) line += ", ...";
        out += ascii::Printable(line) + "\n";
        for (const ClientVerdict& v : f.listSupport) {
            line = "    " + support.listClients[v.nClient].strName + ": " + SupportName(v.support);
            if (!v.strVersion.empty()) line += " (" + v.strVersion + ")";
            for (std::size_t n = 0; n < v.listNotes.size(); ++n) line += (n ? " " : ": ") + v.listNotes[n];
            out += ascii::Printable(line) + "\n";
        }
    }
    return out;
}

std::string ClientSupportJson(const Report& report) {
    const SupportReport& support = report.clientSupport;
    std::string out = ",\n  \"clientSupport\": {" + Field("dataDate", JsonString(support.strDataDate)) + ",\n    ";
    if (!support.strError.empty()) out += Field("error", JsonString(support.strError)) + ",\n    ";
    out += "\"clients\": [";
    const char* sep = "\n";
    for (const ClientScore& c : support.listClients) {
        char score[32] = "null";
        if (c.HasScore()) std::snprintf(score, sizeof score, "%.1f", c.Score());
        out += sep + std::string("      {") + Field("id", JsonString(c.strId)) + ", " + Field("name", JsonString(c.strName)) +
               ", " + Field("score", score) + ", " + Field("supported", std::to_string(c.nYes)) + ", " +
               Field("partial", std::to_string(c.nPartial)) + ", " + Field("unsupported", std::to_string(c.nNo)) + ", " +
               Field("unknown", std::to_string(c.nUnknown)) + "}";
        sep = ",\n";
    }
    out += "\n    ],\n    \"features\": [";
    sep = "\n";
    for (const FeatureRow& f : support.listFeatures) {
        out += sep + std::string("      {") + Field("slug", JsonString(f.strSlug)) + ", " + Field("title", JsonString(f.strTitle)) +
               ", " + Field("url", JsonString(f.strUrl)) + ", " + Field("category", JsonString(f.strCategory)) + ", " +
               Field("severity", Quoted(f.bWarning ? "warning" : "info")) + ", " + Field("count", std::to_string(f.nCount)) +
               ", \"places\": [";
        for (std::size_t i = 0; i < f.listPlaces.size(); ++i) {
            const FeaturePlace& p = f.listPlaces[i];
            out += (i ? ", {" : "{") + Field("source", JsonString(p.strSource.empty() ? report.strPage : p.strSource)) + ", " +
                   Field("line", std::to_string(p.nLine)) + ", " + Field("column", std::to_string(p.nColumn)) + "}";
        }
        out += "], \"support\": [";
        for (std::size_t i = 0; i < f.listSupport.size(); ++i) {
            const ClientVerdict& v = f.listSupport[i];
            out += (i ? ", {" : "{") + Field("client", JsonString(support.listClients[v.nClient].strId)) + ", " +
                   Field("support", Quoted(SupportName(v.support))) + ", " +
                   Field("version", v.strVersion.empty() ? "null" : JsonString(v.strVersion)) + ", \"notes\": [";
            for (std::size_t n = 0; n < v.listNotes.size(); ++n) out += (n ? ", " : "") + JsonString(v.listNotes[n]);
            out += "]}";
        }
        out += "]}";
        sep = ",\n";
    }
    out += "\n    ],\n    " + Field("warnings", std::to_string(support.Warnings())) + "\n  }";
    return out;
}

std::string Points(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", d);
    return std::string(buf) == "-0.0" ? "0.0" : buf;
}

std::string Number(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", d);
    return buf;
}

std::string LinkOutcome(const LinkResult& link) {
    std::string out;
    if (link.problem == LinkProblem::None || link.problem == LinkProblem::HttpError)
        out = std::to_string(link.nStatus) + (link.bGetAfterHead ? " (GET: HEAD refused)" : "");
    else
        out = link.strError.empty() ? LinkProblemName(link.problem) : link.strError;
    for (const LinkRedirect& hop : link.listRedirects)
        out += ", after " + std::to_string(hop.nStatus) + " to " + hop.strLocation;
    return out;
}

std::string SpamJson(const SpamVerdict& spam) {
    std::string out = ",\n  \"spam\": {" + Field("state", Quoted(SpamStateName(spam.state)));
    if (spam.state != SpamState::Done) {
        if (!spam.strWhy.empty()) out += ", " + Field("why", JsonString(spam.strWhy));
        return out + "}";
    }
    out += ", " + Field("program", JsonString(spam.strProgram)) + ", " + Field("score", Number(spam.dScore)) + ", " +
           Field("threshold", Number(spam.dThreshold)) + ", " +
           Field("severity", Quoted(SeverityName(spam.GetSeverity()))) + ",\n    \"rules\": [";
    const char* sep = "\n";
    for (const SpamRule& rule : spam.listRules) {
        out += sep + std::string("      {") + Field("name", JsonString(rule.strName)) + ", " +
               Field("score", Number(rule.dScore)) + ", " + Field("description", JsonString(rule.strDescription)) +
               ", " + Field("hint", rule.strHint.empty() ? "null" : JsonString(rule.strHint)) + "}";
        sep = ",\n";
    }
    return out + "\n    ]\n  }";
}

std::string LinksJson(const Report& report) {
    const LinkReport& links = report.links;
    std::string out = ",\n  \"links\": {" + Field("warnings", std::to_string(links.Warnings())) + ",\n    \"checked\": [";
    const char* sep = "\n";
    for (const LinkResult& link : links.listLinks) {
        out += sep + std::string("      {") + Field("url", JsonString(link.strUrl)) + ", " +
               Field("source", JsonString(link.strSource.empty() ? report.strPage : link.strSource)) + ", " +
               Field("line", std::to_string(link.nLine)) + ", " + Field("column", std::to_string(link.nColumn)) + ", " +
               Field("kind", Quoted(link.kind == LinkKind::Image ? "image" : "link")) + ", " +
               Field("status", link.nStatus ? std::to_string(link.nStatus) : "null") + ", " +
               Field("getAfterHead", link.bGetAfterHead ? "true" : "false") + ", " +
               Field("problem", Quoted(LinkProblemName(link.problem))) + ", " +
               Field("error", link.strError.empty() ? "null" : JsonString(link.strError)) + ", " +
               Field("severity", Quoted(SeverityName(link.severity))) + ", \"redirects\": [";
        for (std::size_t i = 0; i < link.listRedirects.size(); ++i)
            out += (i ? ", {" : "{") + Field("status", std::to_string(link.listRedirects[i].nStatus)) + ", " +
                   Field("location", JsonString(link.listRedirects[i].strLocation)) + "}";
        out += "]}";
        sep = ",\n";
    }
    return out + "\n    ]\n  }";
}

} // namespace

std::string SpamText(const SpamVerdict& spam) {
    if (spam.state != SpamState::Done) return "Spam: " + ascii::Printable(spam.strWhy) + "\n";
    std::string out = "Spam (SpamAssassin): " + Points(spam.dScore) + " points, threshold " + Points(spam.dThreshold) +
                      ": " + SeverityName(spam.GetSeverity()) +
                      (spam.IsSpam() ? ": likely to be filtered as spam\n" : ": below the threshold\n");
    for (const SpamRule& rule : spam.listRules) {
        std::string points = Points(rule.dScore);
        std::string line = "  " + std::string(points.size() < 5 ? 5 - points.size() : 0, ' ') + points + " " +
                           rule.strName + "  " + rule.strDescription;
        if (!rule.strHint.empty()) line += " (" + rule.strHint + ")";
        out += ascii::Printable(line) + "\n";
    }
    return out;
}

std::string LinksText(const LinkReport& links) {
    std::string out = "Links: " + std::to_string(links.listLinks.size()) + " checked, " +
                      std::to_string(links.Warnings()) + (links.Warnings() == 1 ? " warning\n" : " warnings\n");
    for (const LinkResult& link : links.listLinks) {
        std::string line = "  " + (link.strSource.empty() ? "" : link.strSource + " ") + std::to_string(link.nLine) +
                           ":" + std::to_string(link.nColumn) + "  " + (link.kind == LinkKind::Image ? "image" : "link") +
                           " \"" + link.strUrl + "\"  " + SeverityName(link.severity) + ": " + LinkOutcome(link);
        out += ascii::Printable(line) + "\n";
    }
    return out;
}

std::string ReportText(const Report& report) {
    // Values come from the page and its files: shown the way server replies
    // are, so none acts on a terminal.
    std::string out = ascii::Printable(report.strPage) + "\n";
    for (const Row& row : report.listRows) {
        std::string line = "  ";
        if (!row.strSource.empty()) line += row.strSource + " ";
        line += std::to_string(row.nLine) + ":" + std::to_string(row.nColumn) + "  ";
        line += row.strTag.empty() ? row.strAttribute : row.strTag + (row.strAttribute.empty() ? "" : " " + row.strAttribute);
        if (row.verdict != Verdict::NotEmbedded || !row.strValue.empty()) line += " \"" + row.strValue + "\"";
        line += "  ";
        line += SeverityName(row.severity);
        line += ": ";
        if (row.verdict == Verdict::Embedded) {
            const Part& part = report.listParts[static_cast<std::size_t>(row.nPart)];
            line += part.strFile + ", " + part.strContentType + ", " + Grouped(part.nSize) + " bytes, ";
        }
        line += WhyText(report, row);
        if (row.bFixedByWebmail)
            line += report.bPrepareForWebmail ? " (by Prepare for webmail)" : " (Prepare for webmail embeds it)";
        out += ascii::Printable(line) + "\n";
    }
    const Figures& f = report.figures;
    out += "Message: ";
    out += f.bSizeKnown ? Grouped(f.nMessageSize) + " bytes" : std::string("size unknown");
    out += " (Gmail and Outlook.com accept up to 25 MB";
    if (f.nServerSizeLimit) out += ", the server " + Grouped(f.nServerSizeLimit) + " bytes";
    out += ")\nHTML part: " + Grouped(f.nHtmlPartSize) + " bytes (Gmail clips at 102 KB)\n";
    out += "Remote images: " + std::to_string(f.nRemoteImages) + "\n";
    out += "Images without alt text: " + std::to_string(f.listImagesWithoutAlt.size());
    for (std::size_t i = 0; i < f.listImagesWithoutAlt.size() && i < 10; ++i)
        out += (i ? ", " : " (") + std::to_string(f.listImagesWithoutAlt[i].nLine) + ":" +
               std::to_string(f.listImagesWithoutAlt[i].nColumn);
    if (!f.listImagesWithoutAlt.empty()) out += f.listImagesWithoutAlt.size() > 10 ? ", ...)" : ")";
    out += "\n";
    for (const Finding& finding : report.listFindings)
        out += std::string(SeverityName(finding.severity)) + ": " + ascii::Printable(finding.strText) + "\n";
    if (report.clientSupport.bDone) out += ClientSupportText(report.clientSupport);
    if (report.spam.state != SpamState::NotRun) out += SpamText(report.spam);
    if (report.links.bDone) out += LinksText(report.links);
    unsigned errors = report.Count(Severity::Error), warnings = report.Count(Severity::Warning);
    out += std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
           (warnings == 1 ? " warning\n" : " warnings\n");
    return out;
}

std::string ReportJson(const Report& report) {
    std::string out = "{\n  " + Field("page", JsonString(report.strPage)) + ",\n  \"rows\": [";
    const char* sep = "\n";
    for (const Row& row : report.listRows) {
        out += sep;
        sep = ",\n";
        out += "    {" + Field("source", JsonString(row.strSource.empty() ? report.strPage : row.strSource)) + ", " +
               Field("line", std::to_string(row.nLine)) + ", " + Field("column", std::to_string(row.nColumn)) +
               ", " + Field("tag", JsonString(row.strTag)) + ", " + Field("attribute", JsonString(row.strAttribute)) +
               ", " + Field("value", JsonString(row.strValue)) + ", " + Field("verdict", Quoted(VerdictName(row.verdict))) +
               ", " + Field("severity", Quoted(SeverityName(row.severity))) + ", " + Field("kinds", Kinds(row)) + ", " +
               Field("why", JsonString(WhyText(report, row))) +
               ", " + Field("image", row.bImage ? "true" : "false") +
               ", " + Field("fixedByWebmail", row.bFixedByWebmail ? "true" : "false");
        if (row.nPart >= 0) {
            const Part& part = report.listParts[static_cast<std::size_t>(row.nPart)];
            out += ", " + Field("file", JsonString(part.strFile)) + ", " +
                   Field("part", "{" + Field("contentId", JsonString(part.strContentId)) + ", " +
                                     Field("contentType", JsonString(part.strContentType)) + ", " +
                                     Field("size", std::to_string(part.nSize)) + "}");
        } else if (!row.strFile.empty()) {
            out += ", " + Field("file", JsonString(row.strFile));
        }
        out += "}";
    }
    const Figures& f = report.figures;
    out += "\n  ],\n  \"message\": {" + Field("size", f.bSizeKnown ? std::to_string(f.nMessageSize) : "null") + ", " +
           Field("sizeLimit", std::to_string(kMessageSizeLimit)) + ", " +
           Field("serverSizeLimit", f.nServerSizeLimit ? std::to_string(f.nServerSizeLimit) : "null") + ", " +
           Field("htmlPartSize", std::to_string(f.nHtmlPartSize)) + ", " +
           Field("htmlClipSize", std::to_string(kGmailClipSize)) + ", " +
           Field("remoteImages", std::to_string(f.nRemoteImages)) + ", \"imagesWithoutAlt\": [";
    sep = "";
    for (const Place& p : f.listImagesWithoutAlt) {
        out += sep + std::string("{") + Field("line", std::to_string(p.nLine)) + ", " +
               Field("column", std::to_string(p.nColumn)) + "}";
        sep = ", ";
    }
    out += "]},\n  \"findings\": [";
    sep = "\n";
    for (const Finding& finding : report.listFindings) {
        out += sep + std::string("    {") + Field("kind", Quoted(KindName(finding.kind))) + ", " +
               Field("severity", Quoted(SeverityName(finding.severity))) + ", " +
               Field("text", JsonString(finding.strText)) + "}";
        sep = ",\n";
    }
    out += "\n  ]";
    if (report.clientSupport.bDone) out += ClientSupportJson(report);
    if (report.spam.state != SpamState::NotRun) out += SpamJson(report.spam);
    if (report.links.bDone) out += LinksJson(report);
    out += ",\n  " + Field("errors", std::to_string(report.Count(Severity::Error))) + ",\n  " +
           Field("warnings", std::to_string(report.Count(Severity::Warning))) + "\n}\n";
    return out;
}

} // namespace check
