// The main window's commands of the More >> menu that leave the window: the
// Options dialog, the About box and the web links.
#include "app/AboutDlg.h"
#include "app/Links.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "ui/HyperLink.h"
#include "ui/Prompts.h"

void CMainDlg::OnOptions() {
    COptionsDlg dlg(this, *m_services.prompts);
    dlg.SmtpServer = m_settings.SmtpServer;
    dlg.SmtpPort = m_settings.SmtpPort;
    dlg.SmtpSecurity = m_settings.SmtpSecurity;
    dlg.SrvReqAuth = m_settings.SrvReqAuth;
    dlg.AuthName = m_settings.AuthName;
    dlg.AuthPass = m_settings.AuthPass;
    dlg.BrowseOutputFolder = m_settings.BrowseOutputFolder;
    dlg.OpenEml = m_settings.OpenEml;
    if (dlg.exec() != QDialog::Accepted) return;
    m_settings.SmtpServer = dlg.SmtpServer;
    m_settings.SmtpPort = dlg.SmtpPort;
    m_settings.SmtpSecurity = dlg.SmtpSecurity;
    m_settings.SrvReqAuth = dlg.SrvReqAuth;
    m_settings.AuthName = dlg.AuthName;
    m_settings.AuthPass = dlg.AuthPass;
    m_settings.BrowseOutputFolder = dlg.BrowseOutputFolder;
    m_settings.OpenEml = dlg.OpenEml;
    // Saved at once, so the options outlive a program that is killed later.
    std::string err;
    if (!m_settings.SaveSettings(SETTINGS_OPTIONS, err))
        m_services.prompts->MessageBox(this, QStringLiteral("The options could not be saved."),
                                       QString::fromStdString(err));
}

void CMainDlg::OnCheckUpdates() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, CheckUpdatesUrl()); }

void CMainDlg::OnFeedback() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, FeedbackUrl()); }

void CMainDlg::OnHomepage() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, kHomePageUrl); }

void CMainDlg::OnTellFriend() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, TellFriendUrl()); }

void CMainDlg::OnAbout() {
    CAboutDlg dlg(this, *m_services.shell, *m_services.prompts);
    dlg.exec();
}
