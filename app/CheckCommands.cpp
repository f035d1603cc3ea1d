// The Check command, and the report before Create Email and Send Email: the
// page is checked on a thread of its own, and the report shown when it holds
// errors or warnings the user has not yet gone past for that page.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/CheckDlg.h"
#include "app/CheckTask.h"
#include "app/MainDlg.h"
#include "ui/Prompts.h"

namespace {

// Warnings are remembered by the page's absolute path: the field may hold a relative one.
std::string PageKey(const std::string& path) {
    return QFile::encodeName(QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath()).toStdString();
}

} // namespace

bool CMainDlg::RequirePage() {
    CheckPageField();  // the file may have come or gone since the field was typed
    QString problem = m_ui.pHtmlProblem->text();
    if (!m_strHtmlPath.empty() && problem.isEmpty()) return true;
    m_services.prompts->MessageBox(this, m_strHtmlPath.empty()
                                             ? QStringLiteral("Please choose an HTML file.")
                                             : QStringLiteral("The HTML file cannot be used: %1\n\n%2")
                                                   .arg(problem, m_ui.pHtmlEdit->text()));
    m_ui.pHtmlEdit->setFocus();
    return false;
}

void CMainDlg::OnCheck() {
    if (IsBusy()) return;
    UpdateData(true);
    if (RequirePage()) StartCheck({CheckFor::Report, MakeComposeJob(std::string()), {}});
}

void CMainDlg::StartCheck(Command command) {
    m_command = std::move(command);
    // The Check command shows the clients' support and SpamAssassin's verdict; the report before a command does not.
    const bool full = m_command.purpose == CheckFor::Report;
    m_pCheckTask = new CCheckTask(m_command.job, m_services.env,
                                  full ? check::DefaultClients() : std::vector<std::string>(), full, this);
    connect(m_pCheckTask, &CCheckTask::Finished, this, &CMainDlg::OnCheckFinished);
    SetWork(Work::Checking);
    // Said only when the check is long enough to notice; a clean page goes on without a flicker.
    QTimer::singleShot(300, m_pCheckTask, [this, task = m_pCheckTask] {
        if (task != m_pCheckTask) return;  // handed to the report, which is up
        m_pCheckNote->setText(QStringLiteral("Checking %1...").arg(QFileInfo(m_ui.pHtmlEdit->text()).fileName()));
        QApplication::setOverrideCursor(Qt::BusyCursor);
    });
    m_pCheckTask->Start();
}

void CMainDlg::StopCheck() {
    if (m_work != Work::Checking) return;
    delete m_pCheckTask;  // stops what can be stopped, and waits for the page check itself
    m_pCheckTask = nullptr;
    if (!m_pCheckNote->text().isEmpty()) {
        m_pCheckNote->clear();
        QApplication::restoreOverrideCursor();
    }
    SetWork(Work::Idle);
}

void CMainDlg::OnCheckFinished() {
    check::Report report = std::move(m_pCheckTask->Report());
    Command command = std::move(m_command);
    if (command.purpose == CheckFor::Report) {
        // The task goes on with SpamAssassin and the links; the report stops it when it closes.
        CCheckTask* task = std::exchange(m_pCheckTask, nullptr);
        StopCheck();
        CCheckDlg dlg(this, std::move(report));
        dlg.Follow(task);
        dlg.exec();
        return;
    }
    StopCheck();
    // The composition writes from the plan the check made, unless a file has changed since.
    MessagePlan plan = report.figures.bSizeKnown ? std::move(report.plan) : MessagePlan();
    if (!ReportBeforeSending(report, command.purpose)) return;
    if (command.purpose == CheckFor::CreateEmail) {
        CreateEmailChecked(std::move(command.job), std::move(plan));
    } else {
        command.send.request.plan = std::move(plan);
        SendEmailChecked(std::move(command.send));
    }
}

bool CMainDlg::ReportBeforeSending(check::Report& report, CheckFor purpose) {
    const std::string page = PageKey(report.strPage);
    std::vector<WarningKind> kinds = WarningKinds(report);
    std::set<std::string>& seen = m_seenWarnings[page];
    bool show = report.HasErrors();
    for (WarningKind& kind : kinds) {
        kind.bHidden = m_state.IsWarningHidden(page, kind.strId);
        show = show || (!kind.bHidden && !seen.count(kind.strId));
    }
    if (!show) return true;
    CCheckDlg dlg(this, std::move(report),
                  purpose == CheckFor::CreateEmail ? QStringLiteral("Create Email") : QStringLiteral("Send Email"), kinds);
    // Cancel remembers nothing: the next try shows the same report.
    if (dlg.exec() != QDialog::Accepted) return false;
    for (const WarningKind& kind : kinds) seen.insert(kind.strId);

    // The boxes decide for the kinds shown; kinds hidden before that this page no longer has stay hidden.
    std::vector<std::string> hidden = dlg.HiddenKinds(), before;
    for (const WindowState::PageWarnings& p : m_state.HiddenWarnings)
        if (p.strPage == page) before = p.listKinds;
    for (const std::string& id : before)
        if (std::none_of(kinds.begin(), kinds.end(), [&id](const WarningKind& k) { return k.strId == id; }))
            hidden.push_back(id);
    std::vector<std::string> sortedBefore = before, sortedHidden = hidden;
    std::sort(sortedBefore.begin(), sortedBefore.end());
    std::sort(sortedHidden.begin(), sortedHidden.end());
    if (sortedHidden == sortedBefore) return true;
    m_state.SetHiddenWarnings(page, std::move(hidden));
    std::string err;
    if (!m_state.SaveHiddenWarnings(err))
        m_services.prompts->Notify(this, QStringLiteral("Your choice of warnings could not be saved: ") +
                                             QString::fromStdString(err));
    return true;
}
