#pragma once
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "check/PageReport.h"

class CCheckTask;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;

// A kind of warning is what the report says happens: the same for every
// srcset, every CSS background image, every SVG. Known by the check's stable
// id ("srcset", "image-without-alt"), which is what the settings file keeps,
// so rewording a sentence does not bring back what a user hid.
struct WarningKind {
    std::string strId;
    QString strText;      // for the check box: the reason's sentence, or the finding
    unsigned nCount = 0;  // rows and findings of this kind
    bool bHidden = false;  // the user chose not to see it again for this page
};
std::vector<WarningKind> WarningKinds(const check::Report& report);

// The report of a page: a sortable table of its rows with the message's
// figures and findings below. Shown by the Check command with Close, and
// tabs for the clients' support of the page's features, or before Create
// Email and Send Email with a button to go on, Cancel, and a "Don't show
// again for this page" box for each kind of warning.
class CCheckDlg : public QDialog {
    Q_OBJECT
public:
    enum Column { kSeverityColumn, kPlaceColumn, kWhereColumn, kValueColumn, kVerdictColumn, kWhyColumn, kColumns };
    enum FeatureColumn { kFeatureColumn, kCountColumn, kFirstPlaceColumn, kLackingColumn, kPartlyColumn, kFeatureColumns };

    // The Check command's form.
    CCheckDlg(QWidget* pOwner, check::Report report);
    // The form before a command: strGoOn names it; kinds are those of the report.
    CCheckDlg(QWidget* pOwner, check::Report report, const QString& strGoOn, std::vector<WarningKind> kinds);
    ~CCheckDlg() override;

    const check::Report& Report() const { return m_report; }
    QTableView* Table() const { return m_pTable; }
    QPushButton* GoOnButton() const { return m_pGoOn; }  // null in the Check command's form
    const std::vector<QCheckBox*>& KindBoxes() const { return m_listKindBoxes; }  // in the order of the kinds
    // The kinds whose box is ticked.
    std::vector<std::string> HiddenKinds() const;

    // The Check command's form only; null otherwise.
    QTabWidget* Tabs() const { return m_pTabs; }
    QTableWidget* ClientTable() const { return m_pClients; }
    QTableWidget* FeatureTable() const { return m_pFeatures; }  // each row's feature index in its first cell's Qt::UserRole
    QPlainTextEdit* PageView() const { return m_pPageView; }
    // Shows the text the place is in and selects its line, with the cursor at its column.
    void ShowPlace(const check::FeaturePlace& place);

    // Takes the task of the report, which goes on with SpamAssassin's verdict
    // and checks the links on request. Closing the dialog or Stop stops both.
    void Follow(CCheckTask* pTask);
    QLabel* SpamLine() const { return m_pSpamLine; }
    QTableWidget* SpamRules() const { return m_pSpamRules; }
    QPushButton* LinksButton() const { return m_pLinksButton; }
    QPushButton* StopButton() const { return m_pStopButton; }
    QTableWidget* LinkTable() const { return m_pLinks; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void Build(const QString& strGoOn);
    QWidget* BuildClientSupport();
    QWidget* BuildSpam();
    QWidget* BuildLinks();
    void ShowSpam(const check::SpamVerdict& verdict);
    void ShowLinks(const check::LinkReport& links);
    void UpdateButtons();
    void FitColumns();
    void FitRowHeight();

    check::Report m_report;
    std::vector<WarningKind> m_listKinds;
    QTableView* m_pTable = nullptr;
    struct ColumnFit {
        int nColumn;
        int nWidth;  // when there is room
        int nLeast;
    };
    std::vector<ColumnFit> m_listFits;
    std::vector<QString> m_listLongestWhy;
    QPushButton* m_pGoOn = nullptr;
    std::vector<QCheckBox*> m_listKindBoxes;
    QTabWidget* m_pTabs = nullptr;
    QTableWidget* m_pClients = nullptr;
    QTableWidget* m_pFeatures = nullptr;
    QPlainTextEdit* m_pPageView = nullptr;
    CCheckTask* m_pTask = nullptr;
    QLabel* m_pSpamLine = nullptr;
    QTableWidget* m_pSpamRules = nullptr;
    QLabel* m_pLinksLine = nullptr;
    QTableWidget* m_pLinks = nullptr;
    QPushButton* m_pLinksButton = nullptr;
    QPushButton* m_pStopButton = nullptr;
    std::string m_strViewSource;  // the file in the page view, as read
    QByteArray m_viewBytes;
};
