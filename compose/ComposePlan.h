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
    const char* pszTagPrefix = "";  // as the scan was given: "<img ", "<" for any tag, ...
    const char* pszAttribute = "";
    bool bRemote = false;      // http://, https:// or ftp://: never looked up
    bool bOverlapped = false;  // lay inside another reference's text, so it stays as written
    bool bInlined = false;     // a style sheet's link, replaced by the sheet's text
    std::int32_t nPart = -1;   // index in listParts of the part it becomes; -1 when it stays as written
    // For a value that stays as written: the file looked up, made absolute from
    // the page's folder; empty when remote or too long.
    std::string strFullPath;
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
    std::vector<PlannedPart> listParts;
    std::uint64_t nHtmlPartSize = 0;  // the rewritten page text, before base64
    std::uint64_t nMessageSize = 0;   // every byte the writer produced
};
