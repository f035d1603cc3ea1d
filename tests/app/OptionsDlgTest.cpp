// The Options window: what it shows, what it refuses, and what reaches the settings file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "ui/HelpWindow.h"
#include "ui/SpinButton.h"

namespace {

using testutil::TempDir;


struct OptionsWindow : ::testing::Test {
    RecordingPrompts prompts;
    std::unique_ptr<COptionsDlg> dlg;

    // Shows the window over a working copy as the main window fills it.
    COptionsDlg& Show(int auth = 0, const char* name = "ann", const char* pass = "pw") {
        dlg = std::make_unique<COptionsDlg>(nullptr, prompts);
        dlg->SmtpServer = "mail.example.com";
        dlg->SmtpPort = 2525;
        dlg->SrvReqAuth = auth;
        dlg->AuthName = name;
        dlg->AuthPass = pass;
        dlg->BrowseOutputFolder = 0;
        dlg->OpenEml = 1;
        dlg->show();
        return *dlg;
    }
    void PressOk() { QTest::mouseClick(dlg->Ui().pOk, Qt::LeftButton); }
    bool Accepted() const { return !dlg->isVisible() && dlg->result() == QDialog::Accepted; }
};

TEST_F(OptionsWindow, ShowsTheWorkingCopyInTemplateOrder) {
    COptionsDlg& d = Show();
    EXPECT_EQ(d.windowTitle(), "Options");
    EXPECT_EQ(d.Ui().pServer->text(), "mail.example.com");
    EXPECT_EQ(d.Ui().pPort->text(), "2525");
    EXPECT_FALSE(d.Ui().pAuth->isChecked());
    EXPECT_FALSE(d.Ui().pBrowseOutput->isChecked());
    EXPECT_TRUE(d.Ui().pOpenEml->isChecked());
    EXPECT_EQ(d.Ui().pAuthPass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.focusWidget(), d.Ui().pServer);

    const COptionsDlg::Widgets& u = d.Ui();
    QWidget* order[] = {u.pServer, u.pPort, u.pSecurity, u.pAuth, u.pAuthName, u.pAuthPass, u.pBrowseOutput,
                        u.pOpenEml, u.pOk, u.pCancel};
    QWidget* at = u.pServer;
    for (std::size_t i = 1; i < std::size(order); ++i) {
        do at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(at, order[i]) << "tab stop " << i;
    }
}

TEST_F(OptionsWindow, AccountFieldsFollowTheCheckBoxAndKeepTheirText) {
    COptionsDlg& d = Show(0, "ann", "pw");
    EXPECT_FALSE(d.Ui().pAuthName->isEnabled());
    EXPECT_FALSE(d.Ui().pAuthPass->isEnabled());
    EXPECT_EQ(d.Ui().pAuthName->text(), "ann");

    QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);
    EXPECT_TRUE(d.Ui().pAuthName->isEnabled());
    EXPECT_TRUE(d.Ui().pAuthPass->isEnabled());
    EXPECT_EQ(d.focusWidget(), d.Ui().pAuthName);

    QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);
    EXPECT_FALSE(d.Ui().pAuthName->isEnabled());
    EXPECT_FALSE(d.Ui().pAuthPass->isEnabled());
    EXPECT_EQ(d.Ui().pAuthName->text(), "ann");
    EXPECT_EQ(d.Ui().pAuthPass->text(), "pw");

    // A bad port is reported, but the box is still read and followed.
    d.Ui().pPort->clear();
    QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter an integer.");
    EXPECT_TRUE(d.Ui().pAuthName->isEnabled());
    EXPECT_TRUE(prompts.messages[0].detail.isEmpty());
}

TEST_F(OptionsWindow, OkInsistsOnAServerAndOnAnAccountWhenAuthenticating) {
    COptionsDlg& d = Show(1, "", "");
    d.Ui().pServer->clear();
    PressOk();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please input SMTP server name or IP address.");
    EXPECT_EQ(d.focusWidget(), d.Ui().pServer);
    EXPECT_TRUE(d.isVisible());

    d.Ui().pServer->setText(" ");  // only emptiness is refused
    QTest::keyClick(d.Ui().pServer, Qt::Key_Return);  // Enter is OK
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "Please enter SMTP server authentication account name.");
    EXPECT_EQ(d.focusWidget(), d.Ui().pAuthName);
    EXPECT_TRUE(d.isVisible());

    QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);  // off: the empty name is fine
    PressOk();
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(d.SmtpServer, " ");
    EXPECT_EQ(d.SrvReqAuth, 0);
}

TEST_F(OptionsWindow, PortMustBeAnIntegerAndTheArrowsKeepItInRange) {
    COptionsDlg& d = Show();
    QLineEdit* port = d.Ui().pPort;
    CSpinButtonCtrl* spin = d.Ui().pPortSpin;
    EXPECT_EQ(spin->Lower(), 1);
    EXPECT_EQ(spin->Upper(), 65535);
    EXPECT_EQ(spin->geometry().left(), port->geometry().right() + 1) << "the arrows sit on the port's right edge";
    EXPECT_EQ(spin->geometry().top(), port->geometry().top());

    port->setText("65534");
    spin->Step(1);
    spin->Step(1);
    EXPECT_EQ(port->text(), "65535");
    port->setText("2");
    QTest::keyClick(port, Qt::Key_Down);
    QTest::keyClick(port, Qt::Key_Down);
    EXPECT_EQ(port->text(), "1");
    QTest::keyClick(port, Qt::Key_Up);
    EXPECT_EQ(port->text(), "2");
    port->setText("99999");
    spin->Step(-1);
    EXPECT_EQ(port->text(), "65535");

    port->clear();
    QTest::keyClicks(port, "8a0-8.0");
    EXPECT_EQ(port->text(), "8080") << "digits only";

    port->clear();
    PressOk();
    ASSERT_EQ(prompts.messages.size(), 1u) << "the integer message, once";
    EXPECT_EQ(prompts.messages[0].text, "Please enter an integer.");
    EXPECT_EQ(d.focusWidget(), port);
    EXPECT_TRUE(d.isVisible());

    port->setText("99999999999");
    PressOk();
    EXPECT_EQ(prompts.messages.size(), 2u) << "too large for an integer";
    EXPECT_TRUE(d.isVisible());

    // Typed values outside the arrows' range are taken as they are.
    port->setText("70000");
    PressOk();
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(d.SmtpPort, 70000);
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(OptionsWindow, SecurityMovesAnUntouchedPortAndAPlainPasswordIsWarnedOf) {
    COptionsDlg& d = Show(1, "ann", "pw");
    const COptionsDlg::Widgets& u = d.Ui();
    auto choose = [&](int i) {
        u.pSecurity->setCurrentIndex(i);
        emit u.pSecurity->activated(i);
    };
    EXPECT_TRUE(u.pPlainPasswordWarning->isVisible()) << "a password with security None";
    u.pPort->setText("25");
    struct {
        int security;
        const char* port;
    } steps[] = {{1, "587"}, {2, "465"}, {0, "25"}, {2, "465"}};
    for (const auto& s : steps) {
        choose(s.security);
        EXPECT_EQ(u.pPort->text(), s.port) << "security " << s.security;
        EXPECT_EQ(u.pPlainPasswordWarning->isVisible(), s.security == 0);
    }
    u.pPort->setText("2525");  // typed on purpose: it stays
    choose(1);
    EXPECT_EQ(u.pPort->text(), "2525");
    choose(0);
    u.pAuthPass->clear();
    EXPECT_FALSE(u.pPlainPasswordWarning->isVisible()) << "no password, nothing to warn of";
}

// The main window's Options command, with the dialog driven while it is modal.
struct OptionsCommand : ::testing::Test {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    std::string file = dir.Path() + "settings.reg";
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(file);

    std::unique_ptr<CMainDlg> Open() {
        return std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, platform::Platform(), store.get()});
    }
    // Runs the command; act gets the open Options window.
    void RunOptions(CMainDlg& main, std::function<void(COptionsDlg&)> act) {
        bool reached = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            reached = d != nullptr;
            if (d) act(*d);
            if (d && d->isVisible()) d->reject();  // never leave the test blocked
        });
        main.OnOptions();
        ASSERT_TRUE(reached) << "the Options window was shown modally";
    }
};

TEST_F(OptionsCommand, OkSavesTheSevenOptionsAtOnceAndNothingElse) {
    auto main = Open();
    std::string before = testutil::ReadFile(file);
    main->m_settings.MailFrom = "typed@example.com";  // the mail group waits for the window to close
    RunOptions(*main, [&](COptionsDlg& d) {
        EXPECT_EQ(d.Ui().pPort->text(), "25") << "opens with the current options";
        EXPECT_TRUE(d.Ui().pBrowseOutput->isChecked());
        d.Ui().pServer->setText("smtp.example.org");
        d.Ui().pPort->setText("587");
        QComboBox* security = d.Ui().pSecurity;
        EXPECT_EQ(security->currentText(), "None");
        security->setCurrentIndex(1);
        emit security->activated(1);
        QTest::mouseClick(d.Ui().pAuth, Qt::LeftButton);
        QTest::keyClicks(d.Ui().pAuthName, "ann");
        d.Ui().pAuthPass->setText("s3cret");
        QTest::mouseClick(d.Ui().pBrowseOutput, Qt::LeftButton);
        QTest::mouseClick(d.Ui().pOk, Qt::LeftButton);
    });
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(main->m_settings.SmtpServer, "smtp.example.org");

    AppSettings stored(*store);
    stored.LoadSettings();
    EXPECT_EQ(stored.SmtpServer, "smtp.example.org");
    EXPECT_EQ(stored.SmtpPort, 587);
    EXPECT_EQ(stored.SmtpSecurity, 1) << "STARTTLS";
    EXPECT_EQ(stored.SrvReqAuth, 1);
    EXPECT_EQ(stored.AuthName, "ann");
    EXPECT_EQ(stored.AuthPass, "s3cret");
    EXPECT_EQ(stored.BrowseOutputFolder, 0);
    EXPECT_EQ(stored.OpenEml, 1);
    EXPECT_EQ(stored.MailFrom, "") << "options never write the mail group";
    EXPECT_NE(testutil::ReadFile(file), before);
}

TEST_F(OptionsCommand, AnUnknownStoredSecurityIsKeptUnlessChanged) {
    auto main = Open();
    main->m_settings.SmtpServer = "mail.example.com";
    main->m_settings.SmtpSecurity = 7;  // written by a newer version, say
    RunOptions(*main, [&](COptionsDlg& d) {
        EXPECT_EQ(d.Ui().pSecurity->currentText(), "None");
        QTest::mouseClick(d.Ui().pOk, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible()) << "accepted";
    });
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(main->m_settings.SmtpSecurity, 7);
    RunOptions(*main, [&](COptionsDlg& d) {
        QComboBox* security = d.Ui().pSecurity;
        security->setCurrentIndex(2);
        emit security->activated(2);
        QTest::mouseClick(d.Ui().pOk, Qt::LeftButton);
    });
    EXPECT_EQ(main->m_settings.SmtpSecurity, 2);
}

TEST_F(OptionsCommand, CancelChangesNothingAnywhere) {
    auto main = Open();
    main->m_settings.SmtpServer = "kept.example.com";
    std::string before = testutil::ReadFile(file);
    RunOptions(*main, [&](COptionsDlg& d) {
        EXPECT_EQ(d.Ui().pServer->text(), "kept.example.com");
        d.Ui().pServer->setText("changed.example.com");
        d.Ui().pPort->setText("2525");
        QTest::mouseClick(d.Ui().pCancel, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(main->m_settings.SmtpServer, "kept.example.com");
    EXPECT_EQ(main->m_settings.SmtpPort, 25);
    EXPECT_EQ(testutil::ReadFile(file), before);
}

TEST_F(OptionsCommand, AFailedSaveIsReported) {
    std::string blocked = dir.Write("blocked", "a file where a folder should be");
    auto badStore = platform::MakeFileSettingsStore(blocked + "/settings.reg");
    CMainDlg dlg(CMainDlg::Services{&prompts, &shell, platform::Platform(), badStore.get()});
    dlg.m_settings.SmtpServer = "smtp.example.org";
    prompts.messages.clear();
    RunOptions(dlg, [&](COptionsDlg& d) { QTest::mouseClick(d.Ui().pOk, Qt::LeftButton); });
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("The options could not be saved: ")) << prompts.messages[0].text.toStdString();
    EXPECT_GT(prompts.messages[0].text.size(), 40) << "with the cause";
}

} // namespace
