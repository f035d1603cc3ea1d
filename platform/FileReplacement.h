#pragma once
// Replacing a file as one step: the new content goes to a temporary file beside
// the target and is renamed over it only when complete, so a failed run never
// damages what was there before.
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace platform {

// The permissions the replacement gets.
enum class ReplaceMode {
    // An existing file keeps its mode and, where this process may set it, its
    // group; a new file gets 0666 minus the umask.
    KeepExisting,
    // 0600 whatever was there: for files that hold secrets or wait in a shared folder.
    Private,
};

// Symbolic links are followed: the file at the end of the chain is replaced
// and the links stay links. An existing target that is not a regular file
// (a device, a FIFO, a socket, a folder) is refused. Dropping the object
// without a successful Commit removes the temporary file.
class FileReplacement : public OutputFile {
public:
    // Null with the system's reason in err when no temporary file can be made.
    static std::unique_ptr<FileReplacement> Begin(const std::string& path, ReplaceMode mode, ReadOnlyTarget readOnly,
                                                  std::string& err);
    ~FileReplacement() override;

    bool Write(const void* data, std::size_t n, std::string& err) override;
    bool Sync(std::string& err) override;
    // Flushes to disk, sets the permissions and renames over the target.
    bool Commit(std::string& err) override;
    // Unlinks the temporary file: a Commit not yet renamed then fails, one
    // that has renamed keeps its result.
    void Abandon() override;

private:
    FileReplacement(int fd, std::string temp, std::string target, ReplaceMode mode);
    int m_fd;
    const std::string m_strTemp;  // read by Abandon from another thread
    std::string m_strTarget;
    ReplaceMode m_mode;
    bool m_bCommitted = false;
};

// True when path leads to an existing file this user may not write; for root,
// one without any write permission.
bool IsReadOnlyFile(const std::string& path);

// Where a chain of symbolic links ends; the path itself when it is no link.
// The end need not exist.
std::string FinalPath(const std::string& path);

} // namespace platform
