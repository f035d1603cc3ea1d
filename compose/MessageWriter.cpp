// The bytes of the message: header block, the text and HTML parts, resource
// and attachment parts, boundaries. Measuring runs the same steps and counts
// instead of writing, so the size it gives is the size written.
#include "compose/MessageWriter.h"

#include <algorithm>
#include <cstring>

#include "compose/HeaderFormat.h"
#include "compose/HtmlToText.h"
#include "compose/PathUtil.h"
#include "core/Ascii.h"
#include "core/Base64.h"
#include "core/Product.h"
#include "core/QuotedPrintable.h"
#include "core/Utf8.h"
#include "platform/Codeset.h"

namespace {
// A multiple of 57 (one line) and of 3648 (the classic read), so lines
// continue evenly from one read to the next.
constexpr std::size_t kReadChunk = 3648 * 64;
constexpr std::size_t kOutBufferSize = 256 * 1024;
constexpr std::size_t kRawChunk = 256 * 1024;
constexpr std::size_t kMaxLine = 998;  // octets before the CR LF

// RFC 2387 wants the type of the related body's root part.
const char kRelatedType[] = "related;\r\n\ttype=\"text/html\";\r\n";

// Fed an attached message piece by piece: does every line end in CR LF within
// the length limit, with no NUL, and are any bytes 8-bit?
class MessageLines {
public:
    void Feed(const unsigned char* p, std::size_t n) {
        for (std::size_t i = 0; i < n && m_bFits; ++i) {
            unsigned char c = p[i];
            m_bAny = true;
            if (m_bCr) {
                m_bFits = c == '\n';  // a CR stands only before its LF
                m_bCr = false;
                m_nLine = 0;
            } else if (c == '\r') {
                m_bCr = true;
            } else {
                m_bFits = c != '\n' && c != 0 && ++m_nLine <= kMaxLine;
                m_bEightBit = m_bEightBit || c >= 0x80;
            }
        }
    }
    // An empty file or one whose last line has no end does not fit.
    bool Fits() const { return m_bFits && m_bAny && m_nLine == 0 && !m_bCr; }
    bool EightBit() const { return m_bEightBit; }
    const char* Encoding() const { return m_bEightBit ? "8bit" : "7bit"; }

private:
    bool m_bFits = true, m_bAny = false, m_bCr = false, m_bEightBit = false;
    std::size_t m_nLine = 0;
};
} // namespace

CMessageWriter::CMessageWriter(const MessagePlan& plan, const ComposeJob& job, const platform::Platform& env,
                               CContentTypeSources& types, const char* pszHostName)
    : m_plan(plan), m_job(job), m_env(env), m_contentTypes(types), m_pszHostName(pszHostName),
      m_strFileNameCodeset(platform::LocaleCodeset()) {}

bool CMessageWriter::Write(platform::OutputFile& out, std::string& strError) {
    return WriteSome(out, strError, true, true);
}

bool CMessageWriter::WriteSome(platform::OutputFile& out, std::string& strError, bool bHead, bool bShared) {
    m_pOut = &out;
    bool ok = Run(bHead, bShared) && FlushOut();
    m_pOut = nullptr;
    m_strOutBuffer.clear();
    strError = m_strError;
    return ok;
}

bool CMessageWriter::Measure(std::uint64_t& nSize, std::string& strError) {
    bool ok = Run() && FlushOut();
    nSize = m_nWritten;
    strError = m_strError;
    return ok;
}

bool CMessageWriter::Run(bool bHead, bool bShared) {
    m_strError.clear();
    m_listWarnings.clear();
    m_bEightBitData = false;
    m_nWritten = 0;
    m_nBytesDone = 0;
    if (bHead) {
        if (!WriteHeaders()) return false;
        if (m_plan.bTextAlternative && !WriteTextPart()) return false;
        if (!WriteHtmlPart() || !ReportBytes(m_plan.strPage.size())) return false;
    }
    if (!bShared) return true;
    for (const PlannedPart& part : m_plan.listParts)
        if (!WriteInlinePart(part)) return false;
    if (!WriteClosingBoundaries()) return false;
    for (const std::string& path : m_job.m_listAttachments)
        if (!WriteAttachmentPart(path)) return false;
    return WriteOut("--" + m_plan.strBoundary + "--\r\n");
}

bool CMessageWriter::Fail(std::string reason) {
    if (m_strError.empty()) m_strError = std::move(reason);
    return false;
}

// Counts n more input bytes as encoded; false when the caller asked to stop.
bool CMessageWriter::ReportBytes(std::uint64_t n) {
    if (!m_pOut) return true;
    m_nBytesDone += n;
    if (!m_job.m_pProgress || m_job.m_pProgress->OnBytes(m_nBytesDone, std::max(m_nBytesDone, m_plan.nInputBytes)))
        return true;
    return Fail("the composition was cancelled");
}

// Small pieces (part headers, the bodies of small files) are gathered, so a
// page with thousands of small parts costs a few large writes, not three each.
bool CMessageWriter::WriteOut(const void* data, std::size_t n) {
    m_nWritten += n;
    if (!m_pOut) return true;
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
    if (m_pOut->Write(data, n, err)) return true;
    return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
}

bool CMessageWriter::FlushOut() {
    if (!m_pOut || m_strOutBuffer.empty()) return true;
    std::string err;
    bool ok = m_pOut->Write(m_strOutBuffer.data(), m_strOutBuffer.size(), err);
    m_strOutBuffer.clear();
    if (ok) return true;
    return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
}

bool CMessageWriter::WriteHeaders() {
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
    std::tm local{};
    long offset = 0;
    std::string date = platform::ToLocalTime(m_env.clock->Now(), local, offset) ? FormatRfcDate(local, offset) : "";
    std::string domain = FirstAddressDomain(m_job.m_strFrom);
    block += "Date: " + date + "\r\n";
    block += "Message-ID: <" + (m_strMessageIdToken.empty() ? m_plan.strMessageIdToken : m_strMessageIdToken) + "@" + (domain.empty() ? std::string(m_pszHostName) : domain) +
             ">\r\n";
    if (!m_job.m_strListUnsubscribe.empty()) {
        // RFC 2369, and RFC 8058's one-click form for a web address.
        error = "the unsubscribe address is too long for a header line";
        if (!add(FormatHeaderLine("List-Unsubscribe", "<" + CleanHeaderText(m_job.m_strListUnsubscribe) + ">", line)))
            return false;
        if (ascii::StartsWithNoCase(m_job.m_strListUnsubscribe, "https://"))
            block += "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
    }
    block += "MIME-Version: 1.0\r\nContent-Type: multipart/";
    block += !m_job.m_listAttachments.empty() ? "mixed;\r\n"
             : m_plan.bTextAlternative        ? "alternative;\r\n"
                                              : kRelatedType;
    block += "\tboundary=\"" + m_plan.strBoundary + "\"\r\n";
    block += std::string("X-Priority: 3\r\nX-Mailer: Quillory ") + kQuilloryVersion +
             "\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n";
    return WriteOut(block);
}

// The page as text, for readers that show no HTML and for spam filters that
// distrust a message that is HTML alone. It reads the same charset the HTML
// part declares.
bool CMessageWriter::WriteTextPart() {
    std::string head;
    if (m_plan.strAlternativeBoundary != m_plan.strBoundary)
        head = "--" + m_plan.strBoundary + "\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" +
               m_plan.strAlternativeBoundary + "\"\r\n\r\n\r\n";
    head += "--" + m_plan.strAlternativeBoundary +
            "\r\nContent-Type: text/plain;\r\n\tcharset=\"UTF-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    // Browsers read pages labelled Latin-1 as windows-1252, its superset.
    const std::string& charset = m_plan.strCharset;
    const bool latin1 = ascii::EqualsNoCase(charset, "iso-8859-1") || ascii::EqualsNoCase(charset, "us-ascii");
    std::string page = platform::TextToUtf8(m_pPersonalText ? *m_pPersonalText : m_plan.strPage, latin1 ? "WINDOWS-1252" : charset);
    CQuotedPrintableEncoder qp;
    qp.Feed(HtmlToText(page), head);
    qp.Finish(head);
    head += "\r\n";
    return WriteOut(head);
}

bool CMessageWriter::WriteHtmlPart() {
    std::string head;
    if (m_plan.strRelatedBoundary != m_plan.strBoundary)
        head = "--" + (m_plan.strAlternativeBoundary.empty() ? m_plan.strBoundary : m_plan.strAlternativeBoundary) +
               "\r\nContent-Type: multipart/" + kRelatedType + "\tboundary=\"" + m_plan.strRelatedBoundary +
               "\"\r\n\r\n\r\n";
    head += "--" + m_plan.strRelatedBoundary + "\r\nContent-Type: text/html;\r\n\tcharset=\"" + m_plan.strCharset +
            "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    if (!WriteOut(head)) return false;
    if (!m_pOut) {
        m_nWritten += Base64LinesSize(static_cast<std::size_t>(m_pPersonalHtml ? m_pPersonalHtml->size()
                                                                                : m_plan.RewrittenSize())) + 4;
        return true;
    }
    std::string body = m_pPersonalHtml ? *m_pPersonalHtml : m_plan.RewrittenPage();
    std::string encoded(Base64LinesSize(body.size()) + 4, '\0');
    std::size_t n = Base64EncodeLines(reinterpret_cast<const unsigned char*>(body.data()), body.size(), encoded.data());
    std::memcpy(encoded.data() + n, "\r\n\r\n", 4);
    return WriteOut(encoded.data(), n + 4);
}


// Measuring opens the file, for the same failure, and counts what its size
// would encode to.
bool CMessageWriter::WriteFileBody(const std::string& strOpenPath, const std::string& strPath,
                                   const std::string& strHeader, const char* pszWhat) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strOpenPath, err);
    if (!file) return Fail(std::string("cannot open ") + pszWhat + " '" + strPath + "': " + err);
    if (!WriteOut(strHeader)) return false;

    std::uint64_t size = file->Size();
    if (!m_pOut) {
        // Every read but the last is whole lines, so the pieces add up to one encoding.
        m_nWritten += Base64LinesSize(static_cast<std::size_t>(size)) + 4;
        return true;
    }
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

// "Content-Type: ..." with its charset (UTF-8 text only) and name
// parameters; strName receives the file name as UTF-8.
std::string CMessageWriter::ContentTypeHeader(const std::string& strOpenPath, const std::string& strPath,
                                              const std::string& strType, std::string& strName) {
    strName = platform::TextToUtf8(GetFileNamePart(strPath), m_strFileNameCodeset);
    std::string header = "Content-Type: " + strType + ";\r\n";
    if (strType.compare(0, 5, "text/") == 0 && IsUtf8Text(strOpenPath)) header += "\tcharset=\"utf-8\";\r\n";
    return header + FormatNameParameter(strName) + "\r\n";
}

bool CMessageWriter::IsUtf8Text(const std::string& strOpenPath) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strOpenPath, err);
    if (!file) return false;  // the part's own read reports it
    std::unique_ptr<unsigned char[]> in(new unsigned char[kReadChunk]);
    Utf8Check check;
    std::size_t got = 0;
    while (file->Read(in.get(), kReadChunk, got, err) && got > 0) check.Feed(in.get(), got);
    return check.IsUtf8WithNonAscii();
}

bool CMessageWriter::WriteInlinePart(const PlannedPart& part) {
    const std::string& related = m_plan.strRelatedBoundary;
    if (part.bData) {
        std::string text = "--" + related + "\r\nContent-Type: " + part.strDataType + ";\r\n" +
                           FormatNameParameter(part.strPath) +
                           "\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" + part.strContentId + ">\r\n\r\n";
        std::size_t head = text.size();
        text.resize(head + Base64LinesSize(part.strData.size()));
        text.resize(head + Base64EncodeLines(reinterpret_cast<const unsigned char*>(part.strData.data()),
                                             part.strData.size(), text.data() + head));
        text += "\r\n\r\n";
        return WriteOut(text) && ReportBytes(part.strData.size());
    }
    std::string name;
    std::string header = "--" + related + "\r\n" +
                         ContentTypeHeader(part.strFullPath, part.strPath, part.strContentType, name) +
                         "Content-Transfer-Encoding: base64\r\nContent-ID: <" + part.strContentId + ">\r\n";
    // Readers that take names only from the disposition learn the full name here.
    if (!IsAscii(name)) header += "Content-Disposition: inline;\r\n" + FormatFilenameParameter(name) + "\r\n";
    header += "\r\n";
    return WriteFileBody(part.strFullPath, part.strPath, header, "resource file");
}

bool CMessageWriter::WriteClosingBoundaries() {
    std::string close;
    if (m_plan.strRelatedBoundary != m_plan.strBoundary) close = "--" + m_plan.strRelatedBoundary + "--\r\n\r\n";
    if (!m_plan.strAlternativeBoundary.empty() && m_plan.strAlternativeBoundary != m_plan.strBoundary)
        close += "--" + m_plan.strAlternativeBoundary + "--\r\n\r\n";
    return close.empty() || WriteOut(close);
}

bool CMessageWriter::WriteAttachmentPart(const std::string& strPath) {
    std::string type = ContentTypeOfFile(m_contentTypes, strPath), encoding = "base64";
    if (type == "message/rfc822" && !ChooseMessageEncoding(strPath, type, encoding)) return false;
    std::string name;
    // A statement of its own: it sets name, which the disposition below needs.
    std::string typeHeader = ContentTypeHeader(strPath, strPath, type, name);
    std::string header = "--" + m_plan.strBoundary + "\r\n" + typeHeader + "Content-Transfer-Encoding: " + encoding +
                         "\r\nContent-Disposition: attachment;\r\n" + FormatFilenameParameter(name) + "\r\n\r\n";
    if (encoding != "base64") return WriteFileRaw(strPath, header, encoding);
    return WriteFileBody(strPath, strPath, header, "attachment");
}

// Attached messages travel as themselves: a message/rfc822 part may not be
// base64-encoded, so one that cannot go unencoded (or, for a 7-bit server,
// holds 8-bit bytes) is labelled as plain data.
bool CMessageWriter::ChooseMessageEncoding(const std::string& strPath, std::string& strType, std::string& strEncoding) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strPath, err);
    if (!file) return Fail("cannot open attachment '" + strPath + "': " + err);
    MessageLines lines;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kRawChunk]);
    for (std::size_t got = kRawChunk; got == kRawChunk;) {
        if (!file->Read(buf.get(), kRawChunk, got, err)) return Fail("cannot read attachment '" + strPath + "': " + err);
        lines.Feed(buf.get(), got);
    }
    if (lines.Fits() && !(m_job.m_bSevenBit && lines.EightBit())) strEncoding = lines.Encoding();
    else strType = "application/octet-stream";
    m_bEightBitData = m_bEightBitData || strEncoding == "8bit";
    return true;
}

bool CMessageWriter::WriteFileRaw(const std::string& strPath, const std::string& strHeader,
                                  const std::string& strEncoding) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strPath, err);
    if (!file) return Fail("cannot open attachment '" + strPath + "': " + err);
    if (!WriteOut(strHeader)) return false;
    if (!m_pOut) {
        m_nWritten += file->Size() + 2;
        return true;
    }
    MessageLines lines;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kRawChunk]);
    for (std::size_t got = kRawChunk; got == kRawChunk;) {
        if (!file->Read(buf.get(), kRawChunk, got, err)) return Fail("cannot read attachment '" + strPath + "': " + err);
        lines.Feed(buf.get(), got);
        if (!WriteOut(buf.get(), got)) return false;
    }
    // Checked again as written: a file changed since it was looked at could
    // otherwise put an illegal line into the message.
    if (!lines.Fits() || strEncoding != lines.Encoding())
        return Fail("cannot read attachment '" + strPath + "': the file changed while it was read");
    // The body ends in CR LF; this one belongs to the next boundary line.
    return WriteOut("\r\n", 2);
}
