// Create Email: from the button to the message file, composed on a thread of
// its own while the window keeps painting.
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/ComposeTask.h"
#include "core/Product.h"
#include "app/MainDlg.h"
#include "platform/FileReplacement.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/Prompts.h"
#include "ui/TextConversion.h"

using ui::FromBytes;

namespace {

// The box's text: what failed, then why.
QString FailureText(const std::string& strReason) {
    return QStringLiteral("Failed to create HTML email.\n\n") + FromBytes(strReason) +
           QStringLiteral("\n\nTo get help, please contact %1.").arg(QString::fromLatin1(kSupportAddress));
}

} // namespace

void CMainDlg::OnCreateEmail() {
    if (IsBusy()) return;
    UpdateData(true);
    if (RequirePage() && AcceptBadAddresses()) StartCheck({CheckFor::CreateEmail, MakeComposeJob(std::string()), {}});
}

void CMainDlg::CreateEmailChecked(ComposeJob job, MessagePlan plan) {
    // The page's name as a message, in the folder of the last one or else beside the page.
    QFileInfo page(FromBytes(m_strHtmlPath));
    QString folder = m_state.LastEmlFolder.empty() ? page.absolutePath() : FromBytes(m_state.LastEmlFolder);
    QString chosen = folder + QLatin1Char('/') + page.completeBaseName() + QStringLiteral(".eml");
    if (!m_services.prompts->PromptForFile(this, QStringLiteral("Email File (*.eml)"), true, QStringLiteral("eml"),
                                           chosen))
        return;
    std::string path = chosen.toStdString();
    // The file dialog asks before replacing a file, but not whether it is read-only.
    const bool readOnly = platform::IsReadOnlyFile(path);
    if (readOnly && !m_services.prompts->Question(
                        this, QStringLiteral("'%1' is read-only. Replace it anyway?").arg(QFileInfo(chosen).fileName()),
                        QStringLiteral("Replace")))
        return;
    m_state.LastEmlFolder = QFileInfo(chosen).absolutePath().toStdString();
    m_state.RememberPage(m_strHtmlPath);
    ShowRecentPages();

    ShowStatus(QString(), std::string());  // a line about an earlier message would outlive a cancel
    m_pCreateDlg = new CCreateProgressDlg(this);
    m_pCreateDlg->SetCaption(QStringLiteral("Creating HTML email..."));
    m_pCreateDlg->SetBytes(0, 0);
    job.m_strOutputPath = path;
    job.m_bReplaceReadOnly = readOnly;
    m_pComposeTask = new CComposeTask(std::move(job), std::move(plan), m_services.env, this);
    connect(m_pComposeTask, &CComposeTask::Progress, m_pCreateDlg, &CCreateProgressDlg::SetBytes);
    connect(m_pComposeTask, &CComposeTask::Finished, this,
            [this, path](CComposeTask::End end, const QString& reason) {
                OnComposeFinished(static_cast<int>(end), reason, path);
            });
    connect(m_pComposeTask, &CComposeTask::Finishing, m_pCreateDlg, &CCreateProgressDlg::SetFinishing);
    // Asked at once: a press the task can no longer honour must not look like a cancel.
    connect(m_pCreateDlg, &CCreateProgressDlg::CancelRequested, m_pComposeTask, [this] {
        if (m_pComposeTask && !m_pComposeTask->Cancel() && m_pCreateDlg) m_pCreateDlg->SetFinishing();
    });
    SetWork(Work::Composing);
    m_pCreateDlg->show();
    m_pComposeTask->Start();
}

void CMainDlg::OnComposeFinished(int nEnd, const QString& strReason, const std::string& strPath) {
    auto end = static_cast<CComposeTask::End>(nEnd);
    m_pComposeTask->Wait();
    m_pComposeTask->deleteLater();
    m_pComposeTask = nullptr;
    if (m_pCreateDlg) m_pCreateDlg->End();
    SetWork(Work::Idle);
    m_services.prompts->WithdrawQuestion();  // "Stop it and quit?" has nothing left to stop
    if (end == CComposeTask::End::Cancelled) return;
    if (end == CComposeTask::End::Failed) {
        m_services.prompts->MessageBox(this, FailureText(strReason.toStdString()));
        return;
    }
    ShowStatus(QStringLiteral("Saved ") + QFileInfo(FromBytes(strPath)).fileName(), strPath);
    // One box at the end for whatever is to be said: what was left out, and hand-offs that failed.
    std::vector<HandOffStep> steps;
    if (m_settings.options.BrowseOutputFolder) steps.push_back({true, strPath});
    if (m_settings.options.OpenEml) steps.push_back({false, strPath});
    HandOff(std::move(steps),
            strReason.isEmpty() ? QString() : QStringLiteral("The message was written, but not everything went in."),
            strReason);
}

void CMainDlg::ShowStatus(const QString& strText, const std::string& strSavedPath) {
    m_strSavedPath = strSavedPath;
    m_ui.pStatusText->setText(strText);
    m_ui.pStatusText->setToolTip(FromBytes(strSavedPath));
    m_ui.pStatusShow->setVisible(!strSavedPath.empty());
    m_ui.pStatusOpen->setVisible(!strSavedPath.empty());
    m_ui.pStatusLine->setVisible(!strText.isEmpty());
}

ComposeJob CMainDlg::MakeComposeJob(const std::string& strOutput) const {
    ComposeJob job;
    job.m_strHtmlPath = m_strHtmlPath;
    job.m_strSubject = m_settings.mail.MailSubject;
    job.m_strFrom = m_settings.mail.MailFrom;
    job.m_strTo = m_settings.mail.MailTo;
    job.m_strCc = m_settings.mail.MailCc;
    job.m_strOutputPath = strOutput;
    job.m_bPrepareForWebmail = m_settings.options.PrepareForWebmail;
    CAttachmentList* list = AttachList();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        job.m_listAttachments.push_back(list->topLevelItem(i)->text(CAttachmentList::kPathColumn).toStdString());
    return job;
}
