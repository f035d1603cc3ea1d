#include "compose/ContentType.h"

#include "compose/MimeTypeTable.h"
#include "compose/PathUtil.h"
#include "platform/XdgFolders.h"

namespace {

// Far above any real mime.types or globs2 file; keeps a stray huge file out of memory.
constexpr std::size_t kMaxSourceFile = 16u << 20;

bool Usable(const std::string& type) { return IsMimeType(type); }

} // namespace

ContentTypePaths DefaultContentTypePaths(platform::Environment& env) {
    ContentTypePaths paths;
    std::string home = platform::HomeFolder(env);
    if (!home.empty()) paths.listAssociationFiles.push_back(home + "/.mime.types");
    paths.listAssociationFiles.push_back("/etc/mime.types");
    for (const std::string& folder : platform::XdgDataFolders(env)) paths.listGlobFiles.push_back(folder + "/mime/globs2");
    return paths;
}

CContentTypeSources::CContentTypeSources(platform::Environment& env, ContentTypePaths paths)
    : m_env(env), m_paths(std::move(paths)) {}

void CContentTypeSources::LoadAssociations() {
    m_bAssociationsLoaded = true;
    std::string text;
    for (const std::string& path : m_paths.listAssociationFiles)
        if (m_env.ReadTextFile(path, text, kMaxSourceFile)) ParseMimeTypes(text, m_mapAssociations);
}

void CContentTypeSources::LoadGlobs() {
    m_bGlobsLoaded = true;
    std::string text;
    for (const std::string& path : m_paths.listGlobFiles)
        if (m_env.ReadTextFile(path, text, kMaxSourceFile)) ParseGlobs2(text, m_mapGlobs);
}

bool CContentTypeSources::FindAssociation(const std::string& strExtension, std::string& strContentType) {
    if (!m_bAssociationsLoaded) LoadAssociations();
    auto it = m_mapAssociations.find(ExtensionKey(strExtension));
    if (it == m_mapAssociations.end() || !Usable(it->second)) return false;
    strContentType = it->second;
    return true;
}

bool CContentTypeSources::FindGlob(const std::string& strExtension, std::string& strContentType) {
    if (!m_bGlobsLoaded) LoadGlobs();
    auto it = m_mapGlobs.find(ExtensionKey(strExtension));
    if (it == m_mapGlobs.end() || !Usable(it->second.strType)) return false;
    strContentType = it->second.strType;
    return true;
}

bool FindRegistryContentType(CContentTypeSources& sources, const std::string& strExtension,
                             std::string& strContentType) {
    return sources.FindGlob(strExtension, strContentType);
}

bool GetContentType(CContentTypeSources& sources, const std::string& strExtension, std::string& strContentType) {
    std::string key = ExtensionKey(strExtension);
    if (key.empty() || key.size() > kMaxContentType) return false;
    if (sources.FindAssociation(key, strContentType)) return true;
    if (FindBuiltInContentType(key, strContentType)) return true;
    return FindRegistryContentType(sources, key, strContentType);
}

std::string ContentTypeOfFile(CContentTypeSources& sources, const std::string& strPath) {
    std::string ext = GetFileExtension(strPath);
    std::string type;
    if (ext.empty() || !GetContentType(sources, ext, type)) type = "application/octet-stream";
    return type;
}
