#include "compose/PathUtil.h"

bool GetFolderOfPath(const std::string& path, std::string& folder) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    folder = path.substr(0, slash + 1);
    return true;
}

std::string GetFileNamePart(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GetFileExtension(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string::size_type start = slash == std::string::npos ? 1 : slash + 1;
    if (start >= path.size()) return {};
    std::string::size_type dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < start) return {};
    return path.substr(dot);
}
