#pragma once
// File access for the core. The real implementation is POSIX; tests substitute
// their own to inject failures (full disk, short reads, unreadable files).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class InputFile {
public:
    virtual ~InputFile() = default;
    // Size taken when the file was opened.
    virtual std::uint64_t Size() const = 0;
    // Reads up to n bytes into buf; got == 0 means end of file.
    // False on an I/O error, with the system's reason in err.
    virtual bool Read(void* buf, std::size_t n, std::size_t& got, std::string& err) = 0;
};

// What replacing does with an existing target that this user may not write
// (mode 0444, say): refused unless asked, as cp does.
enum class ReadOnlyTarget { Refuse, Replace };

// A new file moved over its target only by Commit, so a failed run never
// damages what was there before (see FileReplacement). Destroying it without
// a successful Commit leaves no trace.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool Write(const void* data, std::size_t n, std::string& err) = 0;
    // Waits until what was written is on the disk, which can take minutes on a
    // slow device; the file is not yet in place, so the caller can still drop it.
    virtual bool Sync(std::string& /*err*/) { return true; }
    // Flushes to disk, sets the permissions and puts the file in place.
    virtual bool Commit(std::string& err) = 0;
    // Removes what the output has put on disk, called from another thread
    // while a Write or Commit may be under way, just before the process ends.
    virtual void Abandon() {}
};

// An output kept in memory, for a message that goes to another program.
class StringOutput : public OutputFile {
public:
    bool Write(const void* data, std::size_t n, std::string&) override {
        m_strText.append(static_cast<const char*>(data), n);
        return true;
    }
    bool Commit(std::string&) override { return true; }
    std::string& Text() { return m_strText; }

private:
    std::string m_strText;
};

// Where a path really leads, with symbolic links and ".." resolved, and the
// identity of the file there.
struct ResolvedPath {
    std::string strPath;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool SameFile(const ResolvedPath& other) const { return device == other.device && inode == other.inode; }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens an existing regular file for reading, never waiting for a writer;
    // folders, FIFOs, devices and sockets are refused. A file that reports no
    // size (as those of /proc do) is read at once, so Size() tells the truth.
    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path, std::string& err) = 0;
    // Begins replacing target: a symbolic link is written through, and an
    // existing target that is not a regular file is refused, as is a
    // read-only one unless readOnly says Replace. A replaced file keeps its
    // mode and group; a new one gets 0666 minus the umask.
    virtual std::unique_ptr<OutputFile> CreateOutput(const std::string& target, ReadOnlyTarget readOnly,
                                                     std::string& err) = 0;
    // True when path names a folder that can be opened.
    virtual bool CheckFolder(const std::string& path, std::string& err) = 0;
    // True when path names a regular file that this process may read.
    virtual bool IsReadableFile(const std::string& path) = 0;
    // False when the path leads to nothing.
    virtual bool Resolve(const std::string& path, ResolvedPath& out) = 0;
    // Where name, an entry of realFolder (a path Resolve gave), leads, when
    // that is cheaper to learn than by Resolve. Unknown when name is a
    // symbolic link or this file system cannot tell: the caller asks Resolve.
    enum class Entry { Found, Missing, Unknown };
    virtual Entry ResolveEntry(const std::string& /*realFolder*/, const std::string& /*name*/, ResolvedPath& /*out*/) {
        return Entry::Unknown;
    }
};

FileSystem& RealFileSystem();

// A file whose content is already in memory.
std::unique_ptr<InputFile> MemoryInput(std::string data);
// The same, but committed outputs get mode 0600 whatever was there: for
// messages that wait in a shared temporary folder.
FileSystem& PrivateFileSystem();

// Writes to standard output as it comes; Commit only reports success. On a
// failure the reader has a partial message to discard.
std::unique_ptr<OutputFile> StandardOutputFile();

// Reads a whole configuration file (settings, ~/.mime.types) of at most
// maxBytes, never waiting for a writer. 0 when read; otherwise the errno:
// ENOENT when missing, EISDIR for a folder, EINVAL for anything else that is
// not a regular file (a FIFO, a device), EFBIG when larger than maxBytes.
int ReadConfigFile(const std::string& path, std::string& text, std::size_t maxBytes);

// The current working directory, with a trailing '/'; empty when unknown.
std::string CurrentDirectory();

// Creates the folder and any missing parents, private to the user; true when
// it is there already. False with why.
bool MakeFolders(const std::string& folder, std::string& err);

} // namespace platform
