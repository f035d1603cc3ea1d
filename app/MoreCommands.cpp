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
    m_settings.options = dlg.m_options;
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
