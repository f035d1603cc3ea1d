// The Options window: what it shows, what it refuses, and what reaches the settings file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"

namespace {

AppOptions Sample() {
    AppOptions o;
    o.SmtpServer = "mail.example.com";
    o.SmtpPort = 2525;
    o.SrvReqAuth = false;
    o.AuthName = "ann";
    o.AuthPass = "pw";
    o.AuthMethod = kAuthPlain;
    o.OAuthTokenCommand = "token-cmd";
    o.BrowseOutputFolder = false;
    o.OpenEml = true;
    return o;
}

struct OptionsWindow : ::testing::Test {
    RecordingPrompts prompts;
    std::unique_ptr<COptionsDlg> dlg;

    COptionsDlg& Show(const AppOptions& o = Sample(), const QString& place = QString()) {
        dlg = std::make_unique<COptionsDlg>(nullptr, prompts);
        dlg->m_options = o;
        dlg->m_strPasswordPlace = place;
        dlg->show();
        return *dlg;
    }
    void PressOk() { QTest::mouseClick(dlg->Ui().pOk, Qt::LeftButton); }
    bool Accepted() const { return !dlg->isVisible() && dlg->result() == QDialog::Accepted; }
    void Choose(int security) {
        dlg->Ui().pSecurity->setCurrentIndex(security);
        emit dlg->Ui().pSecurity->activated(security);
    }
};

TEST_F(OptionsWindow, EveryOptionGoesThroughTheControlsUnchangedInTabOrder) {
    int width[2] = {};
    for (bool flag : {false, true}) {
        AppOptions o = Sample();
        // Every check box differs from its neighbours, so no two can be swapped.
        o.SrvReqAuth = o.OpenEml = flag;
        o.BrowseOutputFolder = o.PrepareForWebmail = !flag;
        o.Security = flag ? kSecurityTls : kSecurityStartTls;
        // A keyring's long error text wraps under the password, in the width the window has anyway.
        COptionsDlg& d = Show(o, flag ? "in the settings file (no keyring: Failed to execute child process "
                                        "\"dbus-launch\" (No such file or directory))"
                                      : "in the keyring");
        width[flag] = d.width();
        QLabel* place = d.Ui().pPasswordPlace;
        EXPECT_GE(place->height(), place->heightForWidth(place->width())) << "no line of the note is cut off";
        EXPECT_EQ(d.Ui().pAuthPass->echoMode(), QLineEdit::Password);
        PressOk();
        ASSERT_TRUE(Accepted());
        EXPECT_EQ(d.m_options, o);
    }
    EXPECT_EQ(width[true], width[false]);
    const COptionsDlg::Widgets& u = dlg->Ui();
    QWidget* order[] = {u.pServer,      u.pPort,          u.pSecurity, u.pAuth, u.pAuthName, u.pAuthPass,
                        u.pAuthMethod,  u.pTokenCommand,  u.pBrowseOutput, u.pOpenEml, u.pPrepareForWebmail,
                        u.pOk,          u.pCancel};
    QWidget* at = u.pServer;
    for (std::size_t i = 1; i < std::size(order); ++i) {
        do at = at->nextInFocusChain();  // the port's own text box is part of its stop
        while (!(at->focusPolicy() & Qt::TabFocus) || at->parentWidget() == u.pPort);
        EXPECT_EQ(at, order[i]) << "tab stop " << i;
    }
}

TEST_F(OptionsWindow, OkRefusesWhatCannotWork) {
    struct Case {
        const char *server, *port;
        bool auth;
        const char* name;
        std::string message;  // empty: accepted
        QLineEdit* COptionsDlg::Widgets::*focus;
    } cases[] = {
        {" ", "25", true, "", "Please enter SMTP server authentication account name.", &COptionsDlg::Widgets::pAuthName},
        {"", "65535", false, "", "", nullptr},  // a server is wanted only to send; no account without login
        {"m", "1", true, "ann", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + "|" + c.port + "|" + c.name);
        AppOptions o = Sample();
        o.SrvReqAuth = c.auth;
        o.AuthName = c.name;
        COptionsDlg& d = Show(o);
        d.Ui().pServer->setText(c.server);
        d.Ui().pPort->setValue(std::stoi(c.port));
        prompts.messages.clear();
        QTest::keyClick(d.Ui().pServer, Qt::Key_Return);  // Enter is OK
        if (c.message.empty()) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_TRUE(Accepted());
            EXPECT_EQ(d.m_options.SmtpPort, std::stoi(c.port));
            continue;
        }
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text.toStdString(), c.message);
        EXPECT_EQ(d.focusWidget(), d.Ui().*c.focus);
        EXPECT_TRUE(d.isVisible());
    }
}

// The port box holds a port number and nothing else, written as it is stored.
TEST_F(OptionsWindow, ThePortStaysAPortNumber) {
    QSpinBox* port = Show().Ui().pPort;
    const struct {
        int start;
        const char* typed;  // over the selected text; empty: the arrow key instead
        Qt::Key arrow;
        const char* end;
    } cases[] = {{65535, "", Qt::Key_Up, "65535"}, {1, "", Qt::Key_Down, "1"}, {2, "", Qt::Key_Up, "3"},
                 {25, "8a0-8.0", {}, "8080"},     {25, "99999", {}, "9999"},   {25, "0", {}, "25"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        port->setValue(c.start);
        port->selectAll();
        if (*c.typed) QTest::keyClicks(port, c.typed);
        else QTest::keyClick(port, c.arrow);
        port->interpretText();
        EXPECT_EQ(port->text(), c.end);
        EXPECT_EQ(port->value(), std::stoi(c.end));
    }
}

TEST_F(OptionsWindow, SecurityMovesAnUntouchedPortAndTheAccountFieldsFollowTheirBox) {
    AppOptions o = Sample();
    o.SrvReqAuth = true;
    o.SmtpPort = 25;
    COptionsDlg& d = Show(o);
    const COptionsDlg::Widgets& u = d.Ui();
    EXPECT_TRUE(u.pPlainPasswordWarning->isVisible()) << "a password with security None";
    struct {
        int security;
        const char* port;
    } steps[] = {{1, "587"}, {2, "465"}, {0, "25"}, {2, "465"}};
    for (const auto& s : steps) {
        Choose(s.security);
        EXPECT_EQ(u.pPort->text(), s.port) << "security " << s.security;
        EXPECT_EQ(u.pPlainPasswordWarning->isVisible(), s.security == 0);
    }
    u.pPort->setValue(2525);  // typed on purpose: it stays
    Choose(1);
    EXPECT_EQ(u.pPort->text(), "2525");
    Choose(0);
    u.pAuthPass->clear();
    EXPECT_FALSE(u.pPlainPasswordWarning->isVisible()) << "no password, nothing to warn of";

    // The account fields follow the check box and keep their text.
    auto enabled = [&] {
        return std::vector<bool>{u.pAuthName->isEnabled(), u.pAuthPass->isEnabled(), u.pAuthMethod->isEnabled(),
                                 u.pTokenCommand->isEnabled()};
    };
    EXPECT_EQ(enabled(), std::vector<bool>(4, true));
    QTest::mouseClick(u.pAuth, Qt::LeftButton);
    EXPECT_EQ(enabled(), std::vector<bool>(4, false));
    EXPECT_EQ(u.pAuthName->text(), "ann");
    QTest::mouseClick(u.pAuth, Qt::LeftButton);
    EXPECT_EQ(enabled(), std::vector<bool>(4, true));
    EXPECT_EQ(d.focusWidget(), u.pAuthName);
}

// The main window's Options command, with the dialog driven while it is modal.
struct OptionsCommand : WindowTest {
    std::string file = dir.Path() + "quillory.conf";
    void RunOptions(CMainDlg& main, const std::function<void(COptionsDlg&)>& act) {
        EXPECT_TRUE(WhileModal<COptionsDlg>([&] { main.OnOptions(); }, act)) << "shown modally";
    }
};

TEST_F(OptionsCommand, OkSavesTheOptionsAtOnceAndCancelNothing) {
    auto main = NewWindow();
    main->m_settings.mail.MailFrom = "typed@example.com";  // the mail group waits for the window to close
    std::string before = testutil::ReadFile(file);
    RunOptions(*main, [&](COptionsDlg& d) {
        d.Ui().pServer->setText("changed.example.com");
        QTest::mouseClick(d.Ui().pCancel, Qt::LeftButton);
    });
    EXPECT_EQ(main->m_settings.options, AppOptions());
    EXPECT_EQ(testutil::ReadFile(file), before);

    RunOptions(*main, [&](COptionsDlg& d) {
        EXPECT_EQ(d.Ui().pPort->text(), "25") << "opens with the current options";
        d.Ui().pServer->setText("smtp.example.org");
        d.Ui().pPort->setValue(587);
        QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);
        QTest::keyClicks(d.Ui().pAuthName, "ann");
        d.Ui().pAuthPass->setText("s3cret");
        EXPECT_FALSE(d.Ui().pPasswordPlace->text().isEmpty()) << "says where the password will be kept";
        QCheckBox* webmail = d.Ui().pPrepareForWebmail;  // wider than its text: click the box itself
        QTest::mouseClick(webmail, Qt::LeftButton, {}, QPoint(6, webmail->height() / 2));
        QTest::mouseClick(d.Ui().pOk, Qt::LeftButton);
    });
    // A password that goes into the file is announced once, with the keyring's reason aside.
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("No keyring could be used, so your password was saved in the "
                                                    "settings file."));
    EXPECT_TRUE(prompts.messages[0].detail.startsWith(QString::fromStdString("Settings file: " + file + "\nKeyring: ")));
    EXPECT_GT(prompts.messages[0].detail.size(), int(file.size()) + 30) << "with the keyring's reason";
    RunOptions(*main, [&](COptionsDlg& d) { QTest::mouseClick(d.Ui().pOk, Qt::LeftButton); });
    EXPECT_EQ(prompts.messages.size(), 1u) << "the window's note says it from now on";
    AppOptions expected;
    expected.SmtpServer = "smtp.example.org";
    expected.SmtpPort = 587;
    expected.SrvReqAuth = true;
    expected.AuthName = "ann";
    expected.AuthPass = "s3cret";
    expected.PrepareForWebmail = true;
    EXPECT_EQ(main->m_settings.options, expected);
    AppSettings stored(*store);
    stored.LoadSettings();
    EXPECT_EQ(stored.options, expected);
    EXPECT_EQ(stored.mail.MailFrom, "") << "options never write the mail group";
}

TEST_F(OptionsCommand, AFailedSaveIsReported) {
    std::string blocked = dir.Write("blocked", "a file where a folder should be");
    auto badStore = platform::MakeFileSettingsStore(blocked + "/quillory.conf");
    CMainDlg main(CMainDlg::Services{&prompts, &shell, fixed.Get(), badStore.get()});
    RunOptions(main, [&](COptionsDlg& d) {
        d.Ui().pServer->setText("smtp.example.org");
        QTest::mouseClick(d.Ui().pOk, Qt::LeftButton);
    });
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("The options could not be saved: "))
        << prompts.messages[0].text.toStdString();
    EXPECT_GT(prompts.messages[0].text.size(), 40) << "with the cause";
}

} // namespace
