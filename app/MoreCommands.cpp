// The main window's commands of the More >> menu that leave the window: the
// Options dialog, the About box and the web links.
#include "app/AboutDlg.h"
#include "app/Links.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "ui/HyperLink.h"
#include "ui/Prompts.h"

namespace {

// The options group, between the settings and the dialog's working copy.
template <class From, class To>
void CopyOptions(const From& from, To& to) {
    to.SmtpServer = from.SmtpServer;
    to.SmtpPort = from.SmtpPort;
    to.SmtpSecurity = from.SmtpSecurity;
    to.SrvReqAuth = from.SrvReqAuth;
    to.AuthName = from.AuthName;
    to.AuthPass = from.AuthPass;
    to.BrowseOutputFolder = from.BrowseOutputFolder;
    to.OpenEml = from.OpenEml;
}

} // namespace

void CMainDlg::OnOptions() {
    if (IsBusy()) return;
    COptionsDlg dlg(this, *m_services.prompts);
    CopyOptions(m_settings, dlg);
    if (dlg.exec() != QDialog::Accepted) return;
    CopyOptions(dlg, m_settings);
    // Saved at once, so the options outlive a program that is killed later.
    std::string err;
    if (!m_settings.SaveSettings(SETTINGS_OPTIONS, err))
        m_services.prompts->MessageBox(this, QStringLiteral("The options could not be saved: ") +
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
