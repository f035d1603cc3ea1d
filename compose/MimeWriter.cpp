// The bytes of the message: header block, HTML part, resource and attachment
// parts, boundaries.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/Ascii.h"
#include "core/Base64.h"
#include "compose/ContentType.h"
#include "compose/HeaderFormat.h"
#include "compose/MimeComposer.h"
#include "compose/HtmlToText.h"
#include "compose/PathUtil.h"
#include "core/Product.h"
#include "core/QuotedPrintable.h"
#include "core/Utf8.h"
#include "platform/Codeset.h"

namespace {
// A multiple of 57 (one line) and of 3648 (the classic read), so lines
// continue evenly from one read to the next.
constexpr std::size_t kReadChunk = 3648 * 64;

// RFC 2387 wants the type of the related body's root part.
const char kRelatedType[] = "related;\r\n\ttype=\"text/html\";\r\n";

void AppendHex(std::string& s, unsigned long v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%lX", v);
    s += buf;
}
} // namespace

// Small pieces (part headers, the bodies of small files) are gathered, so a
// page with thousands of small parts costs a few large writes, not three each.
bool CMimeComposer::WriteOut(const void* data, std::size_t n) {
    if (m_strOutBuffer.size() + n <= kOutBufferSize) {
        m_strOutBuffer.append(static_cast<const char*>(data), n);
        return true;
    }
    if (!FlushOut()) return false;
    if (n < kOutBufferSize) {
        m_strOutBuffer.assign(static_cast<const char*>(data), n);
        return true;
    }
    std::string err;
    if (m_hOutFile->Write(data, n, err)) return true;
    return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
}

bool CMimeComposer::FlushOut() {
    if (m_strOutBuffer.empty()) return true;
    std::string err;
    bool ok = m_hOutFile->Write(m_strOutBuffer.data(), m_strOutBuffer.size(), err);
    m_strOutBuffer.clear();
    if (ok) return true;
    return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
}

void CMimeComposer::MakeBoundary(std::string& strBoundary) {
    strBoundary = "----=_NextPart_";
    unsigned char g[16];
    if (m_env.random->Fill(g, sizeof g)) {
        // Laid out as a GUID: 32-bit, 16-bit and 16-bit fields, then eight bytes.
        unsigned long d1 = g[0] | (g[1] << 8) | (g[2] << 16) | (static_cast<unsigned long>(g[3]) << 24);
        AppendHex(strBoundary, d1);
        strBoundary += '_';
        AppendHex(strBoundary, g[4] | (g[5] << 8));
        strBoundary += '_';
        AppendHex(strBoundary, g[6] | (g[7] << 8));
        strBoundary += '_';
        for (int i = 8; i < 16; ++i) AppendHex(strBoundary, g[i]);
        return;
    }
    int r[5];
    for (int& v : r) v = m_env.random->Next();
    AppendHex(strBoundary, m_env.clock->TickCount());
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[4]));
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[3]));
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[2]));
    AppendHex(strBoundary, static_cast<unsigned long>(r[1]));
    AppendHex(strBoundary, static_cast<unsigned long>(r[0]));
}

// Today's draws come first, so a message without the text alternative keeps
// its bytes. The alternative, when there is one, encloses the related body.
void CMimeComposer::MakeBoundaries() {
    const bool mixed = !m_job.m_listAttachments.empty(), text = m_bTextAlternative;
    m_strBoundary.clear();
    MakeBoundary(m_strBoundary);
    if (mixed || text)
        MakeBoundary(m_strRelatedBoundary);
    else
        m_strRelatedBoundary = m_strBoundary;
    m_strAlternativeBoundary.clear();
    if (text && mixed)
        MakeBoundary(m_strAlternativeBoundary);
    else if (text)
        m_strAlternativeBoundary = m_strBoundary;
}

std::string CMimeComposer::FormatDateHeader() {
    std::tm local {};
    long offset = 0;
    if (!platform::ToLocalTime(m_env.clock->Now(), local, offset)) return {};
    return FormatRfcDate(local, offset);
}

std::string CMimeComposer::MakeMessageId() {
    static const char kHex[] = "0123456789abcdef";
    unsigned char g[16];
    if (!m_env.random->Fill(g, sizeof g))
        for (unsigned char& b : g) b = static_cast<unsigned char>(m_env.random->Next());
    std::string id = "<";
    for (unsigned char b : g) {
        id += kHex[b >> 4];
        id += kHex[b & 15];
    }
    std::string domain = FirstAddressDomain(m_job.m_strFrom);
    return id + "@" + (domain.empty() ? std::string(m_szHostName) : domain) + ">";
}

bool CMimeComposer::WriteHeaders() {
    std::string block, line, error;
    auto add = [&](bool ok) {
        if (ok) block += line;
        return ok || Fail(error);
    };
    if (!add(FormatAddressHeader("From", m_job.m_strFrom, line, error, m_listWarnings)) ||
        !add(FormatAddressHeader("To", m_job.m_strTo, line, error, m_listWarnings)) ||
        (!m_job.m_strCc.empty() && !add(FormatAddressHeader("Cc", m_job.m_strCc, line, error, m_listWarnings))) ||
        !add(FormatSubjectHeader(m_job.m_strSubject, line, error)))
        return false;
    block += "Date: " + FormatDateHeader() + "\r\n";
    block += "Message-ID: " + MakeMessageId() + "\r\n";
    block += "MIME-Version: 1.0\r\nContent-Type: multipart/";
    block += !m_job.m_listAttachments.empty() ? "mixed;\r\n"
             : m_bTextAlternative         ? "alternative;\r\n"
                                           : kRelatedType;
    block += "\tboundary=\"" + m_strBoundary + "\"\r\n";
    block += std::string("X-Priority: 3\r\nX-Mailer: Quillory ") + kQuilloryVersion +
             "\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n";
    return WriteOut(block);
}

// The page as text, for readers that show no HTML and for spam filters that
// distrust a message that is HTML alone. It reads the same charset the HTML
// part declares.
bool CMimeComposer::WriteTextPart(const std::string& strCharset) {
    std::string head;
    if (m_strAlternativeBoundary != m_strBoundary)
        head = "--" + m_strBoundary + "\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" +
               m_strAlternativeBoundary + "\"\r\n\r\n\r\n";
    head += "--" + m_strAlternativeBoundary +
            "\r\nContent-Type: text/plain;\r\n\tcharset=\"UTF-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    // Browsers read pages labelled Latin-1 as windows-1252, its superset.
    const bool latin1 = ascii::EqualsNoCase(strCharset, "iso-8859-1") || ascii::EqualsNoCase(strCharset, "us-ascii");
    std::string page = platform::TextToUtf8(std::string_view(m_pszHtml.get(), static_cast<std::size_t>(m_nHtmlLength)),
                                            latin1 ? "WINDOWS-1252" : strCharset);
    CQuotedPrintableEncoder qp;
    qp.Feed(HtmlToText(page), head);
    qp.Finish(head);
    head += "\r\n";
    return WriteOut(head);
}

std::string CMimeComposer::BuildHtmlBody() {
    std::string out;
    std::size_t extra = 0;
    for (const ReferenceEntry& r : m_listReferences) extra += r.m_strContentId.size() + 4;
    for (const TextEdit& e : m_listEdits) extra += e.strText.size();
    out.reserve(static_cast<std::size_t>(m_nHtmlLength) + extra);
    const char* src = m_pszHtml.get();
    std::int32_t pos = 0;
    // Both lists are sorted and never overlap: one pass over the page.
    auto edit = m_listEdits.begin();
    auto flushEditsBefore = [&](std::int32_t limit) {
        for (; edit != m_listEdits.end() && edit->nPosition < limit; ++edit) {
            out.append(src + pos, static_cast<std::size_t>(edit->nPosition - pos));
            out += edit->strText;
            pos = edit->nPosition + edit->nLength;
        }
    };
    for (const ReferenceEntry& r : m_listReferences) {
        flushEditsBefore(r.m_nPosition);
        out.append(src + pos, static_cast<std::size_t>(r.m_nPosition - pos));
        out += "cid:";
        out += r.m_strContentId;
        pos = r.m_nPosition + r.m_nLength;
    }
    flushEditsBefore(m_nHtmlLength);
    out.append(src + pos, static_cast<std::size_t>(m_nHtmlLength - pos));
    return out;
}

bool CMimeComposer::WriteHtmlPart(const std::string& strCharset) {
    std::string body = BuildHtmlBody();
    std::string head;
    if (m_strRelatedBoundary != m_strBoundary)
        head = "--" + (m_strAlternativeBoundary.empty() ? m_strBoundary : m_strAlternativeBoundary) +
               "\r\nContent-Type: multipart/" + kRelatedType + "\tboundary=\"" + m_strRelatedBoundary +
               "\"\r\n\r\n\r\n";
    head += "--" + m_strRelatedBoundary + "\r\nContent-Type: text/html;\r\n\tcharset=\"" + strCharset +
            "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    if (!WriteOut(head)) return false;
    std::string encoded(Base64LinesSize(body.size()) + 4, '\0');
    std::size_t n = Base64EncodeLines(reinterpret_cast<const unsigned char*>(body.data()), body.size(), encoded.data());
    std::memcpy(encoded.data() + n, "\r\n\r\n", 4);
    return WriteOut(encoded.data(), n + 4);
}

std::string CMimeComposer::ResolveContentType(const std::string& strPath) {
    std::string ext = GetFileExtension(strPath);
    std::string type;
    if (ext.empty() || !GetContentType(m_contentTypes, ext, type)) type = "application/octet-stream";
    return type;
}

bool CMimeComposer::WriteFileBody(const std::string& strOpenPath, const std::string& strPath,
                                  const std::string& strHeader, const char* pszWhat) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strOpenPath, err);
    if (!file) return Fail(std::string("cannot open ") + pszWhat + " '" + strPath + "': " + err);
    if (!WriteOut(strHeader)) return false;

    std::uint64_t size = file->Size();
    std::uint64_t done = 0;
    std::unique_ptr<unsigned char[]> in(new unsigned char[kReadChunk]);
    std::unique_ptr<char[]> out(new char[Base64LinesSize(kReadChunk)]);
    while (done < size) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, size - done));
        std::size_t got = 0;
        if (!file->Read(in.get(), want, got, err))
            return Fail(std::string("cannot read ") + pszWhat + " '" + strPath + "': " + err);
        // A short read before the end would put padding inside the part.
        if (got != want)
            return Fail(std::string("cannot read ") + pszWhat + " '" + strPath +
                        "': the file was shortened while it was read");
        done += got;
        if (!WriteOut(out.get(), Base64EncodeLines(in.get(), got, out.get())) || !ReportBytes(got)) return false;
    }
    return WriteOut("\r\n\r\n", 4);
}

std::string CMimeComposer::ResourcePath(const ResourceEntry& entry) const {
    // Relative resource paths are relative to the page's folder.
    if (!entry.m_strPath.empty() && entry.m_strPath[0] == '/') return entry.m_strPath;
    return m_strHtmlFolder + entry.m_strPath;
}

std::string CMimeComposer::ContentTypeHeader(const std::string& strOpenPath, const std::string& strPath,
                                             std::string& strName, const std::string* pType) {
    std::string type = pType ? *pType : ResolveContentType(strPath);
    strName = platform::TextToUtf8(GetFileNamePart(strPath), m_strFileNameCodeset);
    std::string header = "Content-Type: " + type + ";\r\n";
    if (type.compare(0, 5, "text/") == 0 && IsUtf8Text(strOpenPath)) header += "\tcharset=\"utf-8\";\r\n";
    return header + FormatNameParameter(strName) + "\r\n";
}

bool CMimeComposer::IsUtf8Text(const std::string& strOpenPath) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strOpenPath, err);
    if (!file) return false;  // the part's own read reports it
    std::unique_ptr<unsigned char[]> in(new unsigned char[kReadChunk]);
    Utf8Check check;
    std::size_t got = 0;
    while (file->Read(in.get(), kReadChunk, got, err) && got > 0) check.Feed(in.get(), got);
    return check.IsUtf8WithNonAscii();
}

bool CMimeComposer::WriteInlinePart(const ResourceEntry& entry) {
    if (entry.m_bData) {
        std::string part = "--" + m_strRelatedBoundary + "\r\nContent-Type: " + entry.m_strDataType + ";\r\n" +
                           FormatNameParameter(entry.m_strPath) +
                           "\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" + entry.m_strContentId + ">\r\n\r\n";
        std::size_t head = part.size();
        part.resize(head + Base64LinesSize(entry.m_strData.size()));
        part.resize(head + Base64EncodeLines(reinterpret_cast<const unsigned char*>(entry.m_strData.data()),
                                             entry.m_strData.size(), part.data() + head));
        part += "\r\n\r\n";
        return WriteOut(part) && ReportBytes(entry.m_strData.size());
    }
    std::string full = ResourcePath(entry);
    std::string name;
    std::string header = "--" + m_strRelatedBoundary + "\r\n" + ContentTypeHeader(full, entry.m_strPath, name) +
                         "Content-Transfer-Encoding: base64\r\nContent-ID: <" + entry.m_strContentId + ">\r\n";
    // Readers that take names only from the disposition learn the full name here.
    if (!IsAscii(name)) header += "Content-Disposition: inline;\r\n" + FormatFilenameParameter(name) + "\r\n";
    header += "\r\n";
    return WriteFileBody(full, entry.m_strPath, header, "resource file");
}

bool CMimeComposer::WriteAttachments() {
    for (const std::string& path : m_job.m_listAttachments) {
        if (!WriteAttachmentPart(path)) return false;
    }
    return true;
}

bool CMimeComposer::WriteAttachmentPart(const std::string& strPath) {
    std::string type = ResolveContentType(strPath), encoding = "base64";
    if (type == "message/rfc822" && !ChooseMessageEncoding(strPath, type, encoding)) return false;
    std::string name;
    // A statement of its own: it sets name, which the disposition below needs.
    std::string typeHeader = ContentTypeHeader(strPath, strPath, name, &type);
    std::string header = "--" + m_strBoundary + "\r\n" + typeHeader + "Content-Transfer-Encoding: " + encoding +
                         "\r\nContent-Disposition: attachment;\r\n" + FormatFilenameParameter(name) + "\r\n\r\n";
    if (encoding != "base64") return WriteFileRaw(strPath, header, encoding);
    return WriteFileBody(strPath, strPath, header, "attachment");
}

bool CMimeComposer::WriteInnerClosingBoundaries() {
    std::string close;
    if (m_strRelatedBoundary != m_strBoundary) close = "--" + m_strRelatedBoundary + "--\r\n\r\n";
    if (!m_strAlternativeBoundary.empty() && m_strAlternativeBoundary != m_strBoundary)
        close += "--" + m_strAlternativeBoundary + "--\r\n\r\n";
    return close.empty() || WriteOut(close);
}

bool CMimeComposer::WriteClosingBoundary() { return WriteOut("--" + m_strBoundary + "--\r\n"); }
