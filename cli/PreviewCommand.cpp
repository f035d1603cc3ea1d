#include "cli/PreviewCommand.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "cli/ComposeCommand.h"
#include "compose/MimeComposer.h"
#include "platform/Process.h"
#include "platform/Terminal.h"
#include "platform/TempFile.h"

int RunPreview(const CliRequest& req, std::string& /*out*/, std::string& err) {
    // A signal is an event from here on, so the temporary message is removed.
    platform::InterruptCatcher interrupts;
    platform::OwnedTempFile message;  // removed on every way out
    std::string why;
    if (!message.Create("EML", why)) {
        err += "quillory-cli: cannot create a temporary file: " + why + "\n";
        return 1;
    }
    {
        platform::Platform env;
        env.files = &platform::PrivateFileSystem();  // only its owner may read it
        ComposeJob job = req.job;
        job.m_strOutputPath = message.Path();
        job.m_listOtherOutputs = {req.job.m_strOutputPath};
        if (int rc = ComposeForCli(job, env, interrupts, err, [&] { message.Remove(); })) return rc;
    }
    std::vector<std::string> argv = {platform::HelperProgram("quillory-preview"), message.Path(), "-o",
                                     req.job.m_strOutputPath, "--width", std::to_string(req.nPreviewWidth)};
    if (req.nPreviewHeight > 0) argv.insert(argv.end(), {"--height", std::to_string(req.nPreviewHeight)});
    if (req.job.m_bReplaceReadOnly) argv.push_back("--force");
    platform::ChildProcess child;
    int errNo = 0;
    if (!platform::StartProcess(argv, child, errNo, why)) {
        err += "quillory-cli: " + why + "\n";
        if (errNo == ENOENT) err += "quillory-cli: the preview is built with the window (cmake -DQUILLORY_WINDOW=ON)\n";
        return 1;
    }
    platform::ChildEnd end;
    while (!platform::PollProcess(child, end)) {
        if (interrupts.Caught()) {
            platform::KillProcess(child);
            return 128 + interrupts.Signal();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    err += end.strStderr;
    if (end.nSignal != 0) {
        err += std::string("quillory-cli: the preview stopped: ") + strsignal(end.nSignal) + "\n";
        return 1;
    }
    return end.nExitCode == 0 ? 0 : 1;
}
