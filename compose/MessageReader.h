#pragma once
// Reads a composed message back the way a recipient's program does: the HTML
// body decoded, and the parts it can address by Content-ID.
#include <map>
#include <string>

// The widths of a previewed message, in CSS pixels: a desktop mail program's
// reading pane and a phone's screen.
constexpr int kDesktopPreviewWidth = 600;
constexpr int kPhonePreviewWidth = 375;
// Larger pictures outrun the renderer's tile memory and come out blank.
constexpr int kMaxPreviewWidth = 2000;
constexpr int kMaxPreviewHeight = 4000;

// Reads the value of --width or --height; false with the reason when it is not
// a number the preview can draw.
bool ParsePreviewSize(const std::string& option, const std::string& value, int& size, std::string& error);

// One part, decoded from its transfer encoding.
struct MessagePart {
    std::string m_strContentType;  // "image/png": type and subtype only
    std::string m_strCharset;      // of a text part that declares one
    std::string m_strData;
};

struct MessageContent {
    std::string m_strHtml;         // the first text/html body part, decoded
    std::string m_strHtmlCharset;  // as the part declares it; empty when it does not
    std::map<std::string, MessagePart> m_mapParts;  // Content-ID (no angle brackets) -> part
};

// Parses a whole message held in memory. False with the reason when it is not
// a message or holds no HTML body.
bool ReadMessageText(const std::string& strMessage, MessageContent& content, std::string& strError);
// The same for a message file.
bool ReadMessageFile(const std::string& strPath, MessageContent& content, std::string& strError);
