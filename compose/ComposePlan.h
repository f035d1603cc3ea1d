#pragma once
// What one composition decides and how large its message is, learnt by running
// it into a counter instead of a file (CMimeComposer::Plan).
#include <cstdint>
#include <string>
#include <vector>

// One attribute value that a tag scan found, in the order the scans found them.
struct PlannedReference {
    std::int32_t nPosition = 0;  // in the page text as composed: every lone LF preceded by a CR
    std::int32_t nLength = 0;
    const char* pszTagName = "";  // as the scan was given: "img", ..., "" for any tag
    const char* pszAttribute = "";
    bool bRemote = false;      // http://, https:// or ftp://: never looked up
    bool bOverlapped = false;  // lay inside another reference's text, so it stays as written
    bool bInlined = false;     // a style sheet's link, replaced by the sheet's text
    std::int32_t nPart = -1;   // index in listParts of the part it becomes; -1 when it stays as written
    // For a value that stays as written: the file looked up, made absolute from
    // the page's folder; empty when remote or too long.
    std::string strFullPath;
};

// An address in a style sheet that the page links and that "Prepare for
// webmail" inlines, in the order the sheets were read.
struct PlannedSheetReference {
    std::string strSheet;            // full path of the sheet it is written in
    std::int32_t nLinkPosition = 0;  // of the page's <link> value that led to the sheet
    std::size_t nOffset = 0;         // of the address in the sheet's text as inlined
    std::size_t nLength = 0;
    bool bImport = false;
    bool bInlined = false;     // a local @import whose sheet became a <style> element
    std::int32_t nPart = -1;   // index in listParts; -1 when it stays as written
    std::string strContentId;  // of that part
};

// One embedded file, in the order of the message.
struct PlannedPart {
    std::string strPath;
    std::string strFullPath;
    std::string strContentId;
    std::string strContentType;
    std::uint64_t nSize = 0;  // of the file, before base64
};

struct ComposePlan {
    std::vector<PlannedReference> listReferences;
    std::vector<PlannedSheetReference> listSheetReferences;
    std::vector<PlannedPart> listParts;
    std::uint64_t nHtmlPartSize = 0;  // the rewritten page text, before base64
    std::uint64_t nMessageSize = 0;   // every byte the writer produced
};
