#pragma once
#include <QTreeWidget>
#include <cstdint>
#include <string>

// Size text of a file: decimal thresholds, binary divisors ("1000 bytes" is 1.0 KiB).
std::string FormatFileSize(std::uint64_t nSize);
// The number a size text stands for, in bytes ("0.98 MB" -> 0.98 * 2^20).
double ParseSizeText(const std::string& strText);

// The attachment rows: file name, size text and full path. The third column is
// the only record of the paths.
class CAttachmentList : public QTreeWidget {
    Q_OBJECT
public:
    enum SortKind { SORT_TEXT = 0, SORT_SIZE = 1 };
    static constexpr int kPathColumn = 2;

    explicit CAttachmentList(QWidget* parent = nullptr);

    int InsertRow(int nIndex, const QString& strText);
    void DeleteRow(int nIndex);
    void DeleteAllRows();
    void SetColumnSortKind(int nColumn, SortKind kind);
    void SortColumn(int nColumn, bool bAscending);

    int SortedColumn() const { return m_nSortColumn; }
    bool SortAscending() const { return m_bAscending; }

signals:
    // Any double-click in the list, on a row or on empty space.
    void DoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    // With the keyboard there is always a row to act on: coming into the list,
    // or moving in it, selects the current row when none is selected.
    // Shift+F10 opens the context menu, as the Menu key does.
    void focusInEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnColumnClick(int nColumn);
    void SelectCurrentIfNone();

    SortKind m_sortKinds[100];
    int m_nSortColumn = -1;
    bool m_bAscending = true;
};
