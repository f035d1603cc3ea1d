// The main window's commands of the More >> menu that leave the window: the
// Options dialog, the preview, the About box and the web links.
#include "app/AboutDlg.h"
#include "core/Product.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "app/PreviewDlg.h"
#include "ui/HelpWindow.h"
#include "ui/HyperLink.h"
#include "ui/Prompts.h"

void CMainDlg::OnOptions() {
    if (IsBusy()) return;
    COptionsDlg dlg(this, *m_services.prompts);
    dlg.m_options = m_settings.options;
    dlg.m_strPasswordPlace = QString::fromStdString(m_settings.PasswordPlaceText());
    if (dlg.exec() != QDialog::Accepted) return;
    const bool wasInFile = m_settings.PasswordStoredIn() == AppSettings::PasswordPlace::File;
    const bool newPassword = dlg.m_options.AuthPass != m_settings.options.AuthPass;
    m_settings.options = dlg.m_options;
    // Saved at once, so the options outlive a program that is killed later.
    std::string err;
    if (!m_settings.SaveSettings(SETTINGS_OPTIONS, err)) {
        m_services.prompts->MessageBox(this, QStringLiteral("The options could not be saved: ") +
                                                 QString::fromStdString(err));
        return;
    }
    // A password that has just gone into the file is announced now, not the
    // next time the window is opened.
    if (m_settings.PasswordStoredIn() == AppSettings::PasswordPlace::File && (newPassword || !wasInFile))
        m_services.prompts->MessageBox(
            this,
            QStringLiteral("No keyring could be used, so your password was saved in the settings file. It is "
                           "not encrypted there: anyone who can read your files can read it."),
            QStringLiteral("Settings file: ") + QString::fromStdString(m_services.store->Path()) +
                QStringLiteral("\nKeyring: ") + QString::fromStdString(m_settings.KeyringNote()));
}

void CMainDlg::OnCheckUpdates() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, CheckUpdatesUrl()); }

void CMainDlg::OnFeedback() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, FeedbackUrl()); }

void CMainDlg::OnHomepage() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, kHomePageUrl); }

void CMainDlg::OnTellFriend() { OpenLinkCommand(this, *m_services.shell, *m_services.prompts, TellFriendUrl()); }

void CMainDlg::OnAbout() {
    CAboutDlg dlg(this, *m_services.shell, *m_services.prompts);
    dlg.exec();
}

void CMainDlg::OnPreview() {
    UpdateData(true);
    if (!RequirePage()) return;
    if (!m_pPreviewDlg) {
        m_pPreviewDlg = new CPreviewDlg(this, m_services.env);
        m_pPreviewDlg->setAttribute(Qt::WA_DeleteOnClose);
        PlaceBeside(m_pPreviewDlg, this);
    }
    m_pPreviewDlg->ShowMessage(MakeComposeJob({}));
    m_pPreviewDlg->show();
    m_pPreviewDlg->raise();
}
