#pragma once
#include <QWidget>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/WindowState.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"
#include "platform/SettingsFile.h"
#include "platform/Shell.h"
#include "smtp/ComposeAndSend.h"

class CAttachmentList;
class CCheckTask;
class CComposeTask;
class CCreateProgressDlg;
class CListSendDlg;
class CPreviewDlg;
class CSendProgressDlg;
class IPrompts;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
namespace check {
struct Report;
}

// The main window: the header fields, the attachment list and every command.
// A top-level window, not a dialogue: Esc means nothing to it, and only its
// close button (or the desktop's close) ends it, asking first about running work.
class CMainDlg : public QWidget {
    Q_OBJECT
public:
    // What the window needs from outside; tests replace any of it.
    struct Services {
        IPrompts* prompts;
        platform::Shell* shell;
        platform::Platform env;
        platform::SettingsStore* store;
    };
    static Services DefaultServices();

    // The controls, in tab order.
    struct Widgets {
        QComboBox* pHtmlCombo;  // the page path, with the recent pages below it
        QLineEdit* pHtmlEdit;   // the combo box's text field
        QPushButton* pBrowseHtml;
        QPushButton* pOpenHtml;
        QLineEdit* pSubjectEdit;
        QLineEdit* pFromEdit;
        QLineEdit* pToEdit;
        QLineEdit* pCcEdit;
        CAttachmentList* pAttachList;
        QPushButton* pAttachAdd;
        QPushButton* pAttachRemove;
        QLabel* pAttachTotal;
        QPushButton* pMore;
        QPushButton* pSendEmail;
        QPushButton* pCreateEmail;
        QWidget* pStatusLine;  // shown once a message has been written
        QLabel* pStatusText;
        QPushButton* pStatusShow;
        QPushButton* pStatusOpen;
        // Under each field, why its text cannot be used; hidden while it can.
        QLabel* pHtmlProblem;
        QLabel* pFromProblem;
        QLabel* pToProblem;
        QLabel* pCcProblem;
    };
    // The menu commands; the two popups are made of them.
    struct Actions {
        QAction* pSendToList;
        QAction* pOptions;
        QAction* pCheck;
        QAction* pTellFriend;
        QAction* pFeedback;
        QAction* pHomepage;
        QAction* pCheckUpdates;
        QAction* pHelp;
        QAction* pAbout;
        QAction* pPreview;
        QAction* pAttachOpen;
        QAction* pAttachShow;
        QAction* pAttachAdd;
        QAction* pAttachRemove;
        QAction* pAttachRemoveAll;
    };

    // Says whether an address field's text is acceptable; when not, badPiece
    // names the part that is wrong.
    using AddressCheck = std::function<bool(const std::string& text, std::string& badPiece)>;

    explicit CMainDlg(const Services& services = DefaultServices());
    ~CMainDlg() override;

    // Moves the widgets' text into the fields (true) or the fields into the widgets (false).
    void UpdateData(bool bSaveAndValidate);

    // The inputs of a composition as the window holds them.
    ComposeJob MakeComposeJob(const std::string& strOutput) const;
    // What Send Email and Send to List send: the composition and the server options.
    SendRequest MakeSendRequest() const;
    // The Send to List window while it is open.
    CListSendDlg* ListSendWindow() const;

    // A new message for the page given on the command line: the page chosen and
    // the files attached instead of the last run's; header fields stay.
    void StartWithPage(const std::string& strPage, const std::vector<std::string>& files);

    const Widgets& Ui() const { return m_ui; }
    const Actions& Commands() const { return m_act; }
    QMenu* MorePopup() const { return m_pMoreMenu; }
    QMenu* AttachPopup() const { return m_pAttachMenu; }
    CAttachmentList* AttachList() const { return m_ui.pAttachList; }
    // Appends a row for the file; returns its index. A missing file is shown greyed.
    int AddAttachment(const std::string& strPath);
    // True when a row already holds exactly this path.
    bool FindAttachment(const std::string& strPath) const;
    // Files dropped at pos (in this window's coordinates): attachments when on
    // the list, the page when elsewhere.
    void OnDropFiles(const QStringList& paths, const QPoint& pos);
    // The long command under way. At most one runs: the window's fields wait
    // while it does. Sending lasts until the send's window is closed.
    enum class Work { Idle, Checking, Composing, Sending };
    Work CurrentWork() const { return m_work; }
    bool IsBusy() const { return m_work != Work::Idle; }
    bool IsChecking() const { return m_work == Work::Checking; }
    void SetAddressCheck(AddressCheck check);

    std::string m_strHtmlPath;
    AppSettings m_settings;  // options, and the mail fields the edit boxes show
    WindowState m_state;     // placement, page, attachments, recent pages

public slots:
    void OnHtmlFileChange();
    void OnBrowseHtml();
    void OnOpenHtml();
    void OnMore();
    void OnCreateEmail();
    void OnSendEmail();
    void OnSendToList();
    void OnOptions();
    void OnCheck();
    void OnAttachAdd();
    void OnAttachRemove();
    void OnAttachOpen();
    void OnAttachBrowse();
    void OnAttachRemoveAll();
    void OnUpdateAttachCommand();
    void OnShowHelp();
    void OnCheckUpdates();
    void OnFeedback();
    void OnHomepage();
    void OnTellFriend();
    void OnAbout();
    // Opens the preview window, or brings it up, for the page and fields as they stand.
    void OnPreview();
    // Notices of send nSendId, queued from its worker: the phase, its
    // progress, a log line, and the end.
    void OnSendStage(std::uint64_t nSendId, SendStage stage);
    void OnSendProgress(std::uint64_t nSendId, std::uint64_t nDone, std::uint64_t nTotal);
    void OnSendLog(std::uint64_t nSendId, const std::string& strText);
    void OnSendDone(std::uint64_t nSendId, const SendOutcome& outcome);
    // The progress window's button: Cancel while sending, Close afterwards.
    void OnSendClose();

signals:
    // The window has closed, its fields saved.
    void Closed();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildControls();
    void BuildActions();
    void OnInitDialog();
    void RestoreState();
    void SaveState();
    // The one place the work changes: the fields are enabled while it is idle.
    void SetWork(Work work);
    // Sets the least size at which nothing is cut, and returns it.
    QSize UpdateMinimumSize();
    // Says so, with the focus on the field, when no page is named.
    bool RequirePage();
    // The command a check of the page runs for: the Check command's own
    // report, or the command the report goes before.
    enum class CheckFor { Report, CreateEmail, SendEmail };
    // The command given, with the inputs it was given on: the check reads
    // them, and Create Email and Send Email go on with exactly these.
    struct Command {
        CheckFor purpose = CheckFor::Report;
        ComposeJob job;    // the page, attachments and header fields
        CheckedSend send;  // Send Email: the request whose fields were checked
    };
    void StartCheck(Command command);
    void OnCheckFinished();
    void StopCheck();
    // Shows the report when it holds errors, or warnings not yet seen for the
    // page; true to go on with the command.
    bool ReportBeforeSending(check::Report& report, CheckFor purpose);
    void CreateEmailChecked(ComposeJob job, MessagePlan plan);
    void SendEmailChecked(CheckedSend checked);
    void RefuseSendField(SendField field, const std::string& strMessage);
    // Opens Send to List; bContinue: on the list send the last run left unfinished.
    void OpenListSend(bool bContinue);
    void OfferToContinueListSend();
    void PageChosen(const QString& path);
    void ShowRecentPages();
    void OnComposeFinished(int nEnd, const QString& strReason, const std::string& strPath);
    // The line under the buttons; Show in Folder and Open only with a saved message.
    void ShowStatus(const QString& strText, const std::string& strSavedPath);
    void CheckAddressField(QLineEdit* pEdit);
    void CheckPageField();
    // Frames the field in red with the reason under it; an empty reason clears both.
    void MarkField(QLineEdit* pEdit, const QString& strReason);
    QLabel* ProblemLabel(QLineEdit* pEdit) const;
    // Asks once whether to write a message whose address fields do not parse; true to go on.
    bool AcceptBadAddresses();
    void UpdateAttachTotal();
    void SelectInExplorer(const std::string& strPath);
    void ShellOpen(const std::string& strTarget);
    struct HandOffStep {
        bool bShow;  // show in its folder, else open
        std::string strTarget;
    };
    void HandOff(std::vector<HandOffStep> steps, QString strText = QString(), QString strDetail = QString());

    Services m_services;
    Widgets m_ui{};
    Actions m_act{};
    QWidget* m_pBody = nullptr;  // everything that is disabled while work runs
    QMenu* m_pMoreMenu = nullptr;
    QMenu* m_pAttachMenu = nullptr;
    AddressCheck m_addressCheck;
    bool m_bFirstRun = false;
    std::vector<std::string> m_listSettingsNotes;  // from loading the settings, shown with the window
    bool m_bShownOnce = false;
    std::string m_strSavedPath;  // the message the status line is about

    Work m_work = Work::Idle;

    // While checking: the check, the command it runs for, and the line that says so.
    CCheckTask* m_pCheckTask = nullptr;
    Command m_command;
    QLabel* m_pCheckNote = nullptr;
    // The kinds of warning shown for each page (by absolute path) and gone
    // past in this session: they do not stop the next Create or Send.
    std::map<std::string, std::set<std::string>> m_seenWarnings;

    // While composing: the composition for Create Email.
    CComposeTask* m_pComposeTask = nullptr;
    QPointer<CCreateProgressDlg> m_pCreateDlg;
    QPointer<CPreviewDlg> m_pPreviewDlg;

    // While sending: the send's window, and its worker.
    QPointer<CSendProgressDlg> m_pSendDlg;
    std::unique_ptr<CComposeAndSend> m_pSendWorker;  // none once it has reported its end, or after a cancel
    // Cancelled sends run out on their own; they are waited for only when the window goes.
    std::vector<std::unique_ptr<CComposeAndSend>> m_listStoppedSends;
    bool IsCurrentSend(std::uint64_t nSendId) const;
    // Send to List, which holds the window's work as Sending while it is open.
    QPointer<CListSendDlg> m_pListDlg;
};
