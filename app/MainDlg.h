#pragma once
#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "smtp/SendWorker.h"

class CIconMenu;
class CSendProgressDlg;
class IPrompts;
class QLineEdit;
class QMenu;
class QPushButton;
class CAttachmentList;

// The main window: the header fields, the attachment list and every command.
class CMainDlg : public QDialog {
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

    explicit CMainDlg(const Services& services = DefaultServices());
    ~CMainDlg() override;

    // Moves the widgets' text into the fields (true) or the fields into the widgets (false).
    void UpdateData(bool bSaveAndValidate);

    // Builds a message from the window's fields and attachment rows into strOutput.
    // On failure strError holds the text for the user and strReason the cause.
    bool ComposeEmail(const std::string& strOutput, std::string& strError, IProgress* pProgress,
                      std::string* pstrReason = nullptr);

    QWidget* Control(int nId) const;
    QMenu* MorePopup() const { return m_pMoreMenu; }
    QMenu* AttachPopup() const { return m_pAttachMenu; }
    CAttachmentList* AttachList() const { return m_listAttach; }
    // Appends a row for the file; returns its index.
    int AddAttachment(const std::string& strPath);
    // True when a row already holds exactly this path.
    bool FindAttachment(const std::string& strPath) const;
    // Files dropped at pos (in this window's coordinates): attachments when on
    // the list, the page when elsewhere.
    void OnDropFiles(const QStringList& paths, const QPoint& pos);

    std::string m_strHtmlPath;
    AppSettings m_settings;  // options, and the mail fields the edit boxes show

public slots:
    void OnHtmlFileChange();
    void OnBrowseHtml();
    void OnOpenHtml();
    void OnMore();
    void OnCreateEmail();
    void OnSendEmail();
    void OnOptions();
    void OnAttachAdd();
    void OnAttachRemove();
    void OnAttachOpen();
    void OnAttachBrowse();
    void OnAttachRemoveAll();
    void OnUpdateAttachCommand(QMenu* pMenu);
    void OnShowHelp();
    void OnCheckUpdates();
    void OnFeedback();
    void OnHomepage();
    void OnTellFriend();
    void OnAbout();
    // A notice of send nSendId, queued from its worker: wParam 0 is the log
    // line strText; wParam 1 is the end, lParam 1 meaning success.
    void OnSendNotify(std::uint64_t nSendId, int wParam, const std::string& strText, int lParam);
    // The progress window's button: Cancel while sending, Close afterwards.
    void OnSendClose();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override {}  // Esc never closes the window
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildControls();
    void OnInitDialog();
    void SelectInExplorer(const std::string& strPath);
    void ShellOpen(const std::string& strTarget);

    Services m_services;
    CAttachmentList* m_listAttach = nullptr;
    QLineEdit* m_pHtmlEdit = nullptr;
    QLineEdit* m_pSubjectEdit = nullptr;
    QLineEdit* m_pFromEdit = nullptr;
    QLineEdit* m_pToEdit = nullptr;
    QLineEdit* m_pCcEdit = nullptr;
    std::unique_ptr<CIconMenu> m_pMenu;  // both popups below are its submenus
    QMenu* m_pMoreMenu = nullptr;
    QMenu* m_pAttachMenu = nullptr;
    QHash<int, QWidget*> m_controls;
    bool m_bClosing = false;

    // The send under way, if any.
    QPointer<CSendProgressDlg> m_pSendDlg;
    std::unique_ptr<CSendWorker> m_hSendThread;  // none once it has reported its end, or after a cancel
    std::string m_strSendTempFile;
    // Cancelled workers run out on their own; they are waited for only when the window goes.
    std::vector<std::unique_ptr<CSendWorker>> m_listStoppedSends;
};
