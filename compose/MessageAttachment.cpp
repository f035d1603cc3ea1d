// Attached messages travel as themselves: a message/rfc822 part may not be
// base64-encoded, so one that cannot go unencoded (or, for a 7-bit server,
// holds 8-bit bytes) is labelled as plain data.
#include <memory>

#include "compose/MimeComposer.h"

namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kMaxLine = 998;  // octets before the CR LF

// Fed the file piece by piece: does every line end in CR LF within the
// length limit, with no NUL, and are any bytes 8-bit?
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

bool CMimeComposer::ChooseMessageEncoding(const std::string& strPath, std::string& strType, std::string& strEncoding) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strPath, err);
    if (!file) return Fail("cannot open attachment '" + strPath + "': " + err);
    MessageLines lines;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kChunk]);
    for (std::size_t got = kChunk; got == kChunk;) {
        if (!file->Read(buf.get(), kChunk, got, err)) return Fail("cannot read attachment '" + strPath + "': " + err);
        lines.Feed(buf.get(), got);
    }
    if (lines.Fits() && !(m_job.m_bSevenBit && lines.EightBit())) strEncoding = lines.Encoding();
    else strType = "application/octet-stream";
    m_bEightBitData = m_bEightBitData || strEncoding == "8bit";
    return true;
}

bool CMimeComposer::WriteFileRaw(const std::string& strPath, const std::string& strHeader,
                                 const std::string& strEncoding) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strPath, err);
    if (!file) return Fail("cannot open attachment '" + strPath + "': " + err);
    if (!WriteOut(strHeader)) return false;
    MessageLines lines;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kChunk]);
    for (std::size_t got = kChunk; got == kChunk;) {
        if (!file->Read(buf.get(), kChunk, got, err)) return Fail("cannot read attachment '" + strPath + "': " + err);
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
