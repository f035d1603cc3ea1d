#pragma once
#include <QDialog>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

class CIconMenu;
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

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override {}  // Esc never closes the window
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildControls();
    void OnInitDialog();
    void NotAvailableYet();
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
};
