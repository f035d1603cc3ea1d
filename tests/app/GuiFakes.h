#pragma once
// Stand-ins for the person at the screen and for the desktop.
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "platform/Shell.h"
#include "ui/Prompts.h"

struct RecordingPrompts : IPrompts {
    struct Message {
        QString text, detail;
    };
    std::deque<QString> fileAnswers;  // empty string = the user cancels
    std::deque<QStringList> filesAnswers;
    std::vector<QString> fileFilters;
    std::vector<Message> messages;
    std::function<void()> onMessage;

    bool PromptForFile(QWidget*, const QString& filter, bool, const QString&, QString& path) override {
        fileFilters.push_back(filter);
        if (fileAnswers.empty()) return false;
        path = fileAnswers.front();
        fileAnswers.pop_front();
        return !path.isEmpty();
    }
    bool PromptForFiles(QWidget*, const QString& filter, QStringList& paths) override {
        fileFilters.push_back(filter);
        if (filesAnswers.empty()) return false;
        paths = filesAnswers.front();
        filesAnswers.pop_front();
        return !paths.isEmpty();
    }
    void MessageBox(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail});
        if (onMessage) onMessage();
    }
};

struct RecordingShell : platform::Shell {
    std::vector<std::string> calls;  // "open PATH", "show PATH" or "start ARG|ARG|..."
    bool openFails = false;          // as when the desktop has no opener
    int startErrno = 0;              // non-zero: Start fails with it
    bool Open(const std::string& target, std::string& err) override {
        calls.push_back("open " + target);
        if (openFails) err = "no opener";
        return !openFails;
    }
    bool Start(const std::vector<std::string>& argv, int& errNo, std::string& err) override {
        std::string line = "start ";
        for (std::size_t i = 0; i < argv.size(); ++i) line += (i ? "|" : "") + argv[i];
        calls.push_back(line);
        errNo = startErrno;
        if (startErrno) err = "cannot start";
        return startErrno == 0;
    }
    bool ShowInFolder(const std::string& path, std::string&) override {
        calls.push_back("show " + path);
        return true;
    }
};

// Looks at the screen each time the composer pauses for its progress bar.
class WatchingClock : public testutil::FixedClock {
public:
    std::function<void()> onStep;
    void SleepMs(unsigned ms) override {
        FixedClock::SleepMs(ms);
        if (onStep) onStep();
    }
};
