#include "compose/MessageReader.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "platform/FileSystem.h"

bool ParsePreviewSize(const std::string& option, const std::string& value, int& size, std::string& error) {
    const int most = option == "--width" ? kMaxPreviewWidth : kMaxPreviewHeight;
    int n = 0;
    bool ok = !value.empty() && value.size() <= 5 && value.find_first_not_of("0123456789") == std::string::npos;
    if (ok) n = std::stoi(value);
    if (!ok || n < 1 || n > most) {
        error = option + " takes a number of pixels from 1 to " + std::to_string(most) + ", not '" + value + "'";
        return false;
    }
    size = n;
    return true;
}

namespace {

template <typename T>
struct GObjectDeleter {
    void operator()(T* p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectDeleter<T>>;

std::string MimeType(GMimeObject* part) {
    GMimeContentType* type = g_mime_object_get_content_type(part);
    char* text = type ? g_mime_content_type_get_mime_type(type) : nullptr;
    std::string s = text ? text : "application/octet-stream";
    g_free(text);
    return s;
}

std::string Charset(GMimeObject* part) {
    const char* charset = g_mime_object_get_content_type_parameter(part, "charset");
    return charset ? charset : "";
}

std::string DecodedContent(GMimePart* part) {
    GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
    if (!wrapper) return {};
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(wrapper, out.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

void Collect(GMimeObject* parent, GMimeObject* part, gpointer data) {
    (void)parent;
    auto* content = static_cast<MessageContent*>(data);
    if (!GMIME_IS_PART(part)) return;
    GMimePart* leaf = GMIME_PART(part);
    const char* cid = g_mime_object_get_content_id(part);
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(part);
    bool attachment = disposition && g_mime_content_disposition_is_attachment(disposition);
    GMimeContentType* type = g_mime_object_get_content_type(part);
    bool html = type && g_mime_content_type_is_type(type, "text", "html");
    if (html && !attachment && content->m_strHtml.empty()) {
        content->m_strHtml = DecodedContent(leaf);
        content->m_strHtmlCharset = Charset(part);
    }
    if (cid && *cid && !content->m_mapParts.count(cid))
        content->m_mapParts[cid] = MessagePart{MimeType(part), Charset(part), DecodedContent(leaf)};
}

} // namespace

bool ReadMessageText(const std::string& strMessage, MessageContent& content, std::string& strError) {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
    content = MessageContent();
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(strMessage.data(), strMessage.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message || !g_mime_message_get_mime_part(message.get())) {
        strError = "not a MIME message";
        return false;
    }
    g_mime_message_foreach(message.get(), Collect, &content);
    // An empty body is still a body; only a message without one fails.
    bool haveHtml = !content.m_strHtml.empty();
    if (!haveHtml) {
        GMimeObject* body = g_mime_message_get_body(message.get());
        GMimeContentType* type = body ? g_mime_object_get_content_type(body) : nullptr;
        haveHtml = type && g_mime_content_type_is_type(type, "text", "html");
    }
    if (!haveHtml) {
        strError = "the message has no HTML part";
        return false;
    }
    return true;
}

bool ReadMessageFile(const std::string& strPath, MessageContent& content, std::string& strError) {
    std::string err;
    auto file = platform::RealFileSystem().OpenRead(strPath, err);
    std::string text;
    if (file) {
        text.reserve(static_cast<std::size_t>(file->Size()));
        char buf[64 * 1024];
        std::size_t got = 0;
        while (file->Read(buf, sizeof buf, got, err) && got > 0) text.append(buf, got);
    }
    if (!err.empty()) {
        strError = "cannot read " + strPath + ": " + err;
        return false;
    }
    if (!ReadMessageText(text, content, strError)) {
        strError = strPath + ": " + strError;
        return false;
    }
    return true;
}
