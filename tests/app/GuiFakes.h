#pragma once
// Stand-ins for the person at the screen and for the desktop.
#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "app/MainDlg.h"
#include "compose/MimeComposer.h"
#include "platform/Shell.h"
#include "ui/Prompts.h"

struct RecordingPrompts : IPrompts {
    struct Message {
        QString text, detail;
        bool modal;
    };
    std::deque<QString> fileAnswers;  // empty string = the user cancels
    std::deque<QStringList> filesAnswers;
    std::vector<QString> fileFilters;
    std::vector<QString> fileSuggestions;  // the path each file dialog started with
    std::vector<Message> messages;
    std::vector<QString> questions;
    bool answerYes = false;
    std::function<void()> whileAsking;  // what happens while a question is up
    bool withdrawn = false;

    bool PromptForFile(QWidget*, const QString& filter, bool, const QString&, QString& path) override {
        fileFilters.push_back(filter);
        fileSuggestions.push_back(path);
        if (fileAnswers.empty()) return false;
        path = fileAnswers.front();
        fileAnswers.pop_front();
        return !path.isEmpty();
    }
    bool PromptForFiles(QWidget*, const QString&, const QString& filter, QStringList& paths) override {
        fileFilters.push_back(filter);
        if (filesAnswers.empty()) return false;
        paths = filesAnswers.front();
        filesAnswers.pop_front();
        return !paths.isEmpty();
    }
    void MessageBox(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail, true});
    }
    void Notify(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail, false});
    }
    bool Question(QWidget*, const QString& text, const QString&) override {
        questions.push_back(text);
        withdrawn = false;
        if (whileAsking) whileAsking();
        return answerYes && !withdrawn;
    }
    void WithdrawQuestion() override { withdrawn = true; }
};

// Whether w is where its window's keyboard focus is (or would be, once active).
inline bool Focused(QWidget* w) {
    QWidget* f = w->window()->focusWidget();
    return f && (f == w || f == w->focusProxy());
}

// Records each hand-off and answers it at once.
struct RecordingShell : platform::Shell {
    std::vector<std::string> calls;  // "open PATH", "show PATH" or "start ARG|ARG|..."
    bool openFails = false;          // as when the desktop has no opener
    int startErrno = 0;              // non-zero: Start fails with it
    void Open(const std::string& target, platform::HandOffDone done) override {
        calls.push_back("open " + target);
        platform::HandOff r;
        r.bOk = !openFails;
        if (openFails) r.strReason = "no opener";
        done(r);
    }
    void Start(const std::vector<std::string>& argv, platform::HandOffDone done) override {
        std::string line = "start ";
        for (std::size_t i = 0; i < argv.size(); ++i) line += (i ? "|" : "") + argv[i];
        calls.push_back(line);
        platform::HandOff r;
        r.bOk = startErrno == 0;
        r.nErrno = startErrno;
        if (startErrno) r.strReason = "cannot start";
        done(r);
    }
    void ShowInFolder(const std::string& path, platform::HandOffDone done) override {
        calls.push_back("show " + path);
        platform::HandOff r;
        r.bOk = !openFails;
        if (openFails) r.strReason = "no file manager";
        done(r);
    }
};

// Runs open, which shows a modal D; act gets that window while it is up, and
// it is closed afterwards if act left it open. False when no D came.
template <class D>
bool WhileModal(const std::function<void()>& open, const std::function<void(D&)>& act) {
    bool reached = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        reached = d != nullptr;
        if (d) act(*d);
        if (d && d->isVisible()) d->reject();  // never leave the test blocked
    });
    open();
    return reached;
}

// For a modal D that comes later, after work on another thread: act gets it
// once it is up, and it is closed afterwards if act left it open. Watches
// until it has come once, or until the watch goes out of scope.
template <class D>
struct ModalWatch {
    explicit ModalWatch(std::function<void(D&)> act) : m_act(std::move(act)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            m_timer.stop();
            bCame = true;
            m_act(*d);
            if (d->isVisible()) d->reject();  // never leave the test blocked
        });
        m_timer.start(5);
    }
    bool bCame = false;

private:
    std::function<void(D&)> m_act;
    QTimer m_timer;
};

// A main window's services over a settings file of its own, past the first
// start, which would open the guide.
struct WindowTest : ::testing::Test {
    testutil::TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    testutil::FixedPlatform fixed;
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(dir.Path() + "quillory.conf");
    WindowTest() { AppSettings(*store).TestAndClearFirstRun(); }
    std::unique_ptr<CMainDlg> NewWindow() {
        return std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, fixed.Get(), store.get()});
    }
};

// The random draws of planning job afresh, and the size it measures: a message
// written from the check's plan draws no more than that.
inline std::pair<unsigned char, std::uint64_t> PlanAfresh(const ComposeJob& job) {
    testutil::FixedPlatform once;
    MessagePlan plan;
    std::uint64_t size = 0;
    EXPECT_TRUE(CMimeComposer(job, once.Get()).Plan(plan, size));
    return {once.random.next, size};
}
