// The Options window: what it shows, what it refuses, and what reaches the settings file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
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

QLineEdit* Edit(COptionsDlg& d, int id) { return static_cast<QLineEdit*>(d.Control(id)); }
QCheckBox* Box(COptionsDlg& d, int id) { return static_cast<QCheckBox*>(d.Control(id)); }

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
    void PressOk() { QTest::mouseClick(dlg->Control(IDOK), Qt::LeftButton); }
    bool Accepted() const { return !dlg->isVisible() && dlg->result() == QDialog::Accepted; }
};

TEST_F(OptionsWindow, ShowsTheWorkingCopyInTemplateOrder) {
    COptionsDlg& d = Show();
    EXPECT_EQ(d.windowTitle(), "Options");
    EXPECT_EQ(Edit(d, IDC_SMTP_SERVER)->text(), "mail.example.com");
    EXPECT_EQ(Edit(d, IDC_SMTP_PORT)->text(), "2525");
    EXPECT_FALSE(Box(d, IDC_SRV_REQ_AUTH)->isChecked());
    EXPECT_FALSE(Box(d, IDC_BROWSE_OUTPUT)->isChecked());
    EXPECT_TRUE(Box(d, IDC_OPEN_EML)->isChecked());
    EXPECT_EQ(Edit(d, IDC_AUTH_PASS)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.focusWidget(), d.Control(IDC_SMTP_SERVER));

    int ids[] = {IDC_SMTP_SERVER, IDC_SMTP_PORT, IDC_SMTP_SECURITY, IDC_SRV_REQ_AUTH, IDC_AUTH_NAME, IDC_AUTH_PASS,
                 IDC_BROWSE_OUTPUT, IDC_OPEN_EML, IDOK, IDCANCEL};
    QWidget* at = d.Control(IDC_SMTP_SERVER);
    for (std::size_t i = 1; i < std::size(ids); ++i) {
        do at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(at, d.Control(ids[i])) << "tab stop " << i;
    }
}

TEST_F(OptionsWindow, AccountFieldsFollowTheCheckBoxAndKeepTheirText) {
    COptionsDlg& d = Show(0, "ann", "pw");
    EXPECT_FALSE(d.Control(IDC_AUTH_NAME)->isEnabled());
    EXPECT_FALSE(d.Control(IDC_AUTH_PASS)->isEnabled());
    EXPECT_EQ(Edit(d, IDC_AUTH_NAME)->text(), "ann");

    QTest::mouseClick(d.Control(IDC_SRV_REQ_AUTH), Qt::LeftButton);
    EXPECT_TRUE(d.Control(IDC_AUTH_NAME)->isEnabled());
    EXPECT_TRUE(d.Control(IDC_AUTH_PASS)->isEnabled());
    EXPECT_EQ(d.focusWidget(), d.Control(IDC_AUTH_NAME));

    QTest::mouseClick(d.Control(IDC_SRV_REQ_AUTH), Qt::LeftButton);
    EXPECT_FALSE(d.Control(IDC_AUTH_NAME)->isEnabled());
    EXPECT_FALSE(d.Control(IDC_AUTH_PASS)->isEnabled());
    EXPECT_EQ(Edit(d, IDC_AUTH_NAME)->text(), "ann");
    EXPECT_EQ(Edit(d, IDC_AUTH_PASS)->text(), "pw");

    // A bad port is reported, but the box is still read and followed.
    Edit(d, IDC_SMTP_PORT)->clear();
    QTest::mouseClick(d.Control(IDC_SRV_REQ_AUTH), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter an integer.");
    EXPECT_TRUE(d.Control(IDC_AUTH_NAME)->isEnabled());
    EXPECT_TRUE(prompts.messages[0].detail.isEmpty());
}

TEST_F(OptionsWindow, OkInsistsOnAServerAndOnAnAccountWhenAuthenticating) {
    COptionsDlg& d = Show(1, "", "");
    Edit(d, IDC_SMTP_SERVER)->clear();
    PressOk();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please input SMTP server name or IP address.");
    EXPECT_EQ(d.focusWidget(), d.Control(IDC_SMTP_SERVER));
    EXPECT_TRUE(d.isVisible());

    Edit(d, IDC_SMTP_SERVER)->setText(" ");  // only emptiness is refused
    QTest::keyClick(Edit(d, IDC_SMTP_SERVER), Qt::Key_Return);  // Enter is OK
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "Please enter SMTP server authentication account name.");
    EXPECT_EQ(d.focusWidget(), d.Control(IDC_AUTH_NAME));
    EXPECT_TRUE(d.isVisible());

    QTest::mouseClick(d.Control(IDC_SRV_REQ_AUTH), Qt::LeftButton);  // off: the empty name is fine
    PressOk();
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(d.SmtpServer, " ");
    EXPECT_EQ(d.SrvReqAuth, 0);
}

TEST_F(OptionsWindow, PortMustBeAnIntegerAndTheArrowsKeepItInRange) {
    COptionsDlg& d = Show();
    QLineEdit* port = Edit(d, IDC_SMTP_PORT);
    CSpinButtonCtrl* spin = d.SpinButton();
    EXPECT_EQ(spin->Lower(), 1);
    EXPECT_EQ(spin->Upper(), 65535);
    EXPECT_EQ(spin->geometry().left(), port->geometry().right() + 1) << "the arrows sit on the port's right edge";

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

// The main window's Options command, with the dialog driven while it is modal.
struct OptionsCommand : ::testing::Test {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    std::string file = dir.Path() + "settings.reg";
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(file);

    std::unique_ptr<CMainDlg> Open() {
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, platform::Platform(), store.get()});
        CHelpWindow::CloseHelp();
        return dlg;
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
        EXPECT_EQ(Edit(d, IDC_SMTP_PORT)->text(), "25") << "opens with the current options";
        EXPECT_TRUE(Box(d, IDC_BROWSE_OUTPUT)->isChecked());
        Edit(d, IDC_SMTP_SERVER)->setText("smtp.example.org");
        Edit(d, IDC_SMTP_PORT)->setText("587");
        auto* security = static_cast<QComboBox*>(d.Control(IDC_SMTP_SECURITY));
        EXPECT_EQ(security->currentText(), "None");
        security->setCurrentIndex(1);
        emit security->activated(1);
        QTest::mouseClick(d.Control(IDC_SRV_REQ_AUTH), Qt::LeftButton);
        QTest::keyClicks(Edit(d, IDC_AUTH_NAME), "ann");
        Edit(d, IDC_AUTH_PASS)->setText("s3cret");
        QTest::mouseClick(d.Control(IDC_BROWSE_OUTPUT), Qt::LeftButton);
        QTest::mouseClick(d.Control(IDOK), Qt::LeftButton);
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
        EXPECT_EQ(static_cast<QComboBox*>(d.Control(IDC_SMTP_SECURITY))->currentText(), "None");
        QTest::mouseClick(d.Control(IDOK), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible()) << "accepted";
    });
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(main->m_settings.SmtpSecurity, 7);
    RunOptions(*main, [&](COptionsDlg& d) {
        auto* security = static_cast<QComboBox*>(d.Control(IDC_SMTP_SECURITY));
        security->setCurrentIndex(2);
        emit security->activated(2);
        QTest::mouseClick(d.Control(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(main->m_settings.SmtpSecurity, 2);
}

TEST_F(OptionsCommand, CancelChangesNothingAnywhere) {
    auto main = Open();
    main->m_settings.SmtpServer = "kept.example.com";
    std::string before = testutil::ReadFile(file);
    RunOptions(*main, [&](COptionsDlg& d) {
        EXPECT_EQ(Edit(d, IDC_SMTP_SERVER)->text(), "kept.example.com");
        Edit(d, IDC_SMTP_SERVER)->setText("changed.example.com");
        Edit(d, IDC_SMTP_PORT)->setText("2525");
        QTest::mouseClick(d.findChildren<QPushButton*>().last(), Qt::LeftButton);  // Cancel
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
    CHelpWindow::CloseHelp();
    dlg.m_settings.SmtpServer = "smtp.example.org";
    prompts.messages.clear();
    RunOptions(dlg, [&](COptionsDlg& d) { QTest::mouseClick(d.Control(IDOK), Qt::LeftButton); });
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "The options could not be saved.");
    EXPECT_FALSE(prompts.messages[0].detail.isEmpty());
}

} // namespace
