#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

#include "check/PageReport.h"

class QCheckBox;
class QPushButton;
class QTableView;

// A kind of warning is what the report says happens: the same for every
// srcset, every CSS background image, every SVG. For a row it is the row's
// reason; for a finding, the reason after its figure ("... : Gmail clips it
// at 102 KB ..."), so a page that grows does not make it a new kind. Known by
// a hash of that text, which is what the settings file keeps.
struct WarningKind {
    std::uint32_t nId = 0;
    QString strText;      // for the check box: the row's reason, or the finding
    unsigned nCount = 0;  // rows and findings of this kind
    bool bHidden = false;  // the user chose not to see it again for this page
};
std::vector<WarningKind> WarningKinds(const check::Report& report);

// The report of a page: a sortable table of its rows with the message's
// figures and findings below. Shown by the Check command with Close, or
// before Create Email and Send Email with a button to go on, Cancel, and a
// "Don't show again for this page" box for each kind of warning.
class CCheckDlg : public QDialog {
    Q_OBJECT
public:
    enum Column { kSeverityColumn, kPlaceColumn, kWhereColumn, kValueColumn, kVerdictColumn, kWhyColumn, kColumns };

    // The Check command's form.
    CCheckDlg(QWidget* pOwner, check::Report report);
    // The form before a command: strGoOn names it; kinds are those of the report.
    CCheckDlg(QWidget* pOwner, check::Report report, const QString& strGoOn, std::vector<WarningKind> kinds);
    ~CCheckDlg() override;

    QTableView* Table() const { return m_pTable; }
    QPushButton* GoOnButton() const { return m_pGoOn; }  // null in the Check command's form
    const std::vector<QCheckBox*>& KindBoxes() const { return m_listKindBoxes; }  // in the order of the kinds
    // The kinds whose box is ticked.
    std::vector<std::uint32_t> HiddenKinds() const;

private:
    void Build(const QString& strGoOn);

    check::Report m_report;
    std::vector<WarningKind> m_listKinds;
    QTableView* m_pTable = nullptr;
    QPushButton* m_pGoOn = nullptr;
    std::vector<QCheckBox*> m_listKindBoxes;
};
