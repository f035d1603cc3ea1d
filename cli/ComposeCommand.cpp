#include "cli/ComposeCommand.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "cli/OptionsCommand.h"
#include "platform/Terminal.h"

namespace {

// The files a composition reads and writes, with its outputs kept in view so
// that a signal can remove them from the main thread while the composition
// itself is still busy on its own (in a long scan, a blocked read, the text
// alternative). "-" is standard output.
class AbandonableFiles : public platform::FileSystem {
public:
    explicit AbandonableFiles(platform::FileSystem& inner) : m_inner(inner) {}
    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string& err) override {
        return m_inner.OpenRead(path, err);
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& target, platform::ReadOnlyTarget readOnly,
                                                       std::string& err) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bAbandoned) {
            err = "interrupted";
            return nullptr;
        }
        auto inner = target == "-" ? platform::StandardOutputFile() : m_inner.CreateOutput(target, readOnly, err);
        if (!inner) return nullptr;
        auto tracked = std::make_unique<Tracked>(std::move(inner), *this);
        m_setOpen.insert(tracked.get());
        return tracked;
    }
    bool CheckFolder(const std::string& path, std::string& err) override { return m_inner.CheckFolder(path, err); }
    bool IsReadableFile(const std::string& path) override { return m_inner.IsReadableFile(path); }
    bool Resolve(const std::string& path, platform::ResolvedPath& out) override {
        return path != "-" && m_inner.Resolve(path, out);
    }
    Entry ResolveEntry(const std::string& folder, const std::string& name, platform::ResolvedPath& out) override {
        return m_inner.ResolveEntry(folder, name, out);
    }

    // From the main thread: no output is made from now on, and those made go.
    void Abandon() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bAbandoned = true;
        for (Tracked* output : m_setOpen) output->m_inner->Abandon();
    }

private:
    struct Tracked : platform::OutputFile {
        Tracked(std::unique_ptr<platform::OutputFile> inner, AbandonableFiles& owner)
            : m_inner(std::move(inner)), m_owner(owner) {}
        ~Tracked() override {
            std::lock_guard<std::mutex> lock(m_owner.m_mutex);
            m_owner.m_setOpen.erase(this);
        }
        bool Write(const void* data, std::size_t n, std::string& err) override { return m_inner->Write(data, n, err); }
        bool Sync(std::string& err) override { return m_inner->Sync(err); }
        bool Commit(std::string& err) override { return m_inner->Commit(err); }
        std::unique_ptr<platform::OutputFile> m_inner;
        AbandonableFiles& m_owner;
    };
    platform::FileSystem& m_inner;
    std::mutex m_mutex;
    bool m_bAbandoned = false;
    std::unordered_set<Tracked*> m_setOpen;
};

} // namespace

int RunCompose(const CliRequest& req, std::string& /*out*/, std::string& err) {
    // From here on a signal is an event, so the temporary file is removed.
    platform::InterruptCatcher interrupts;
    return ComposeForCli(req.job, platform::Platform(), interrupts, err, {});
}

int ComposeForCli(const ComposeJob& job, const platform::Platform& env, platform::InterruptCatcher& interrupts,
                  std::string& err, const std::function<void()>& atSignal) {
    AbandonableFiles files(*env.files);
    platform::Platform watched = env;
    watched.files = &files;
    CMimeComposer composer(job, watched);
    platform::StopSignal done;
    bool ok = false;
    // The thread inherits the blocked signals, so only the wait below sees them.
    std::thread worker([&] {
        ok = composer.Compose();
        done.Request();
    });
    if (interrupts.WaitUntilCaughtOr(done)) {
        // Whatever the composition is doing, it is not waited for: its output
        // goes, and the process ends here, as the thread still uses this frame.
        files.Abandon();
        if (atSignal) atSignal();
        std::fputs(err.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(128 + interrupts.Signal());
    }
    worker.join();
    err += WarningLines(composer.Notices());
    if (!ok) {
        err += "quillory-cli: " + composer.GetLastError() + "\n";
        return 1;
    }
    return 0;
}
