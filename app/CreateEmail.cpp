// Create Email: from the button to the message file.
#include <QApplication>
#include <QLineEdit>

#include "app/ControlIds.h"
#include "core/Product.h"
#include "app/MainDlg.h"
#include "compose/MimeComposer.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/Prompts.h"

void CMainDlg::OnCreateEmail() {
    UpdateData(true);
    if (m_strHtmlPath.empty()) {
        m_services.prompts->MessageBox(this, QStringLiteral("Please choose a HTML file."));
        Control(IDC_HTML_FILE)->setFocus();
        return;
    }
    QString chosen;
    if (!m_services.prompts->PromptForFile(this, QStringLiteral("Email File (*.eml)"), true, QStringLiteral("eml"),
                                           chosen))
        return;
    std::string path = chosen.toStdString();
    PumpMessages();

    auto* progress = new CCreateProgressDlg;
    progress->show();
    setEnabled(false);
    progress->SetCaption(QStringLiteral("Creating HTML email..."));
    progress->Progress()->SetPos(0);

    std::string error, reason;
    bool ok = ComposeEmail(path, error, progress->Progress(), &reason);

    progress->close();
    setEnabled(true);

    if (!ok) {
        m_services.prompts->MessageBox(this, QString::fromStdString(error), QString::fromStdString(reason));
        return;
    }
    if (m_settings.BrowseOutputFolder) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SelectInExplorer(path);
        QApplication::restoreOverrideCursor();
    }
    if (m_settings.OpenEml) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ShellOpen(path);
        QApplication::restoreOverrideCursor();
    }
}

bool CMainDlg::ComposeEmail(const std::string& strOutput, std::string& strError, IProgress* pProgress,
                            std::string* pstrReason) {
    CMimeComposer composer(m_services.env);
    composer.m_strHtmlPath = m_strHtmlPath;
    composer.m_strSubject = m_settings.MailSubject;
    composer.m_strFrom = m_settings.MailFrom;
    composer.m_strTo = m_settings.MailTo;
    composer.m_strCc = m_settings.MailCc;
    if (pProgress) composer.m_pProgress = pProgress;
    composer.m_strOutputPath = strOutput;
    CAttachmentList* list = AttachList();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        composer.m_listAttachments.push_back(list->topLevelItem(i)->text(CAttachmentList::kPathColumn).toStdString());
    if (composer.Compose()) return true;
    strError = std::string("Failed to create HTML email.\n\nTo get help, please contact <") + kSupportAddress + ">.";
    if (pstrReason) *pstrReason = composer.GetLastError();
    return false;
}
