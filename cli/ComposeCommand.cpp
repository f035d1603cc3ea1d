#include "cli/ComposeCommand.h"

#include "cli/OptionsCommand.h"
#include "platform/Terminal.h"

namespace {

// Stops the writing once a signal has arrived; the composer then drops its
// temporary file as after any failed write.
class InterruptibleOutput : public platform::OutputFile {
public:
    InterruptibleOutput(std::unique_ptr<platform::OutputFile> inner, platform::InterruptCatcher& interrupts)
        : m_inner(std::move(inner)), m_interrupts(interrupts) {}
    bool Write(const void* data, std::size_t n, std::string& err) override {
        return !Interrupted(err) && m_inner->Write(data, n, err);
    }
    bool Sync(std::string& err) override { return m_inner->Sync(err) && !Interrupted(err); }
    bool Commit(std::string& err) override { return !Interrupted(err) && m_inner->Commit(err); }

private:
    bool Interrupted(std::string& err) {
        if (!m_interrupts.Caught()) return false;
        err = "interrupted";
        return true;
    }
    std::unique_ptr<platform::OutputFile> m_inner;
    platform::InterruptCatcher& m_interrupts;
};

// The real file system, with outputs that watch for signals; "-" is standard output.
class ComposeFiles : public platform::FileSystem {
public:
    explicit ComposeFiles(platform::InterruptCatcher& interrupts) : m_interrupts(interrupts) {}
    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string& err) override {
        return Real().OpenRead(path, err);
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& target, std::string& err) override {
        auto inner = target == "-" ? platform::StandardOutputFile() : Real().CreateOutput(target, err);
        if (!inner) return nullptr;
        return std::make_unique<InterruptibleOutput>(std::move(inner), m_interrupts);
    }
    bool CheckFolder(const std::string& path, std::string& err) override { return Real().CheckFolder(path, err); }
    bool IsReadableFile(const std::string& path) override { return Real().IsReadableFile(path); }
    bool Resolve(const std::string& path, platform::ResolvedPath& out) override {
        return path != "-" && Real().Resolve(path, out);
    }

private:
    static platform::FileSystem& Real() { return platform::RealFileSystem(); }
    platform::InterruptCatcher& m_interrupts;
};

} // namespace

int RunCompose(const CliRequest& req, std::string& /*out*/, std::string& err) {
    // From here on a signal is an event, so the temporary file is removed.
    platform::InterruptCatcher interrupts;
    ComposeFiles files(interrupts);
    platform::Platform env;
    env.files = &files;
    return ComposeForCli(req.job, env, interrupts, err);
}

int ComposeForCli(const ComposeJob& job, const platform::Platform& env, platform::InterruptCatcher& interrupts,
                  std::string& err) {
    CMimeComposer composer(job, env);
    bool ok = composer.Compose();
    err += WarningLines(composer.Notices());
    if (interrupts.Caught()) return 128 + interrupts.Signal();
    if (!ok) {
        err += "quillory-cli: " + composer.GetLastError() + "\n";
        return 1;
    }
    return 0;
}
