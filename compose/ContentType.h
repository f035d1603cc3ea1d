#pragma once
// The content type of a file extension, from three sources in order: the
// user's and the system's mime.types association, the built-in table, and the
// shared-mime-info database.
#include <string>
#include <unordered_map>
#include <vector>

#include "compose/MimeTypesFile.h"
#include "platform/Environment.h"

struct ContentTypePaths {
    std::vector<std::string> listAssociationFiles;  // mime.types files, most personal first
    std::vector<std::string> listGlobFiles;         // globs2 files, most personal first
};

// ~/.mime.types and /etc/mime.types; globs2 under $XDG_DATA_HOME (default
// ~/.local/share) and each $XDG_DATA_DIRS entry (default /usr/local/share:/usr/share).
ContentTypePaths DefaultContentTypePaths(platform::Environment& env);

// Reads each file at most once, on the first question that needs it, so one
// composition run costs one read per source however many parts it has.
class CContentTypeSources {
public:
    CContentTypeSources(platform::Environment& env, ContentTypePaths paths);

    // The type from the first mime.types line that lists the extension.
    bool FindAssociation(const std::string& strExtension, std::string& strContentType);
    // The highest-weighted "*.ext" glob.
    bool FindGlob(const std::string& strExtension, std::string& strContentType);

private:
    void LoadAssociations();
    void LoadGlobs();

    platform::Environment& m_env;
    ContentTypePaths m_paths;
    bool m_bAssociationsLoaded = false;
    bool m_bGlobsLoaded = false;
    std::unordered_map<std::string, std::string> m_mapAssociations;
    std::unordered_map<std::string, GlobMatch> m_mapGlobs;
};

// The type from the shared-mime-info database, or false.
bool FindRegistryContentType(CContentTypeSources& sources, const std::string& strExtension,
                             std::string& strContentType);

// The extension with or without its dot. False, result untouched, when no
// source knows it; a source whose answer is not a valid type of at most 127
// characters counts as not knowing it.
bool GetContentType(CContentTypeSources& sources, const std::string& strExtension, std::string& strContentType);

// The type of a file by its name's extension; application/octet-stream when
// it has none or no source knows it.
std::string ContentTypeOfFile(CContentTypeSources& sources, const std::string& strPath);
