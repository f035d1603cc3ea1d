#include "ui/AttachmentList.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <charconv>
#include <vector>

std::string FormatFileSize(std::uint64_t nSize) {
    // Formatted without the user's locale so the text reads back the same when sorting.
    char buf[64];
    double value = static_cast<double>(nSize);
    const char* unit;
    int precision;
    if (nSize < 1000) {
        auto r = std::to_chars(buf, buf + sizeof buf, nSize);
        return std::string(buf, r.ptr) + " B";
    } else if (nSize < 1000ull * 1024) {
        value /= 1024.0, unit = " KiB", precision = 1;
    } else if (nSize < 1000ull * 1024 * 1024) {
        value /= 1048576.0, unit = " MiB", precision = 2;
    } else {
        value /= 1073741824.0, unit = " GiB", precision = 2;
    }
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    return std::string(buf, r.ptr) + unit;
}

double ParseSizeText(const std::string& strText) {
    const char* p = strText.data();
    const char* end = p + strText.size();
    double value = 0;
    auto r = std::from_chars(p, end, value, std::chars_format::fixed);
    if (r.ec != std::errc()) value = 0;
    p = r.ec == std::errc() ? r.ptr : p;
    if (p < end && *p == ' ') ++p;
    if (p < end) {
        switch (*p) {
        case 'K': case 'k': value *= 1024.0; break;
        case 'M': case 'm': value *= 1048576.0; break;
        case 'G': case 'g': value *= 1073741824.0; break;
        case 'T': case 't': value *= 1099511627776.0; break;
        default: break;
        }
    }
    return value;
}

CAttachmentList::CAttachmentList(QWidget* parent) : QTreeWidget(parent) {
    std::fill(std::begin(m_sortKinds), std::end(m_sortKinds), SORT_TEXT);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);  // our own comparisons, not Qt's
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, &CAttachmentList::OnColumnClick);
}

int CAttachmentList::InsertRow(int nIndex, const QString& strText) {
    auto* row = new QTreeWidgetItem;
    row->setText(0, strText);
    insertTopLevelItem(nIndex, row);
    return indexOfTopLevelItem(row);
}

void CAttachmentList::DeleteRow(int nIndex) { delete takeTopLevelItem(nIndex); }

void CAttachmentList::DeleteAllRows() { clear(); }

void CAttachmentList::SetColumnSortKind(int nColumn, SortKind kind) {
    if (nColumn >= 0 && nColumn < 100) m_sortKinds[nColumn] = kind;
}

void CAttachmentList::SortColumn(int nColumn, bool bAscending) {
    m_nSortColumn = nColumn;
    m_bAscending = bAscending;
    bool bySize = nColumn >= 0 && nColumn < 100 && m_sortKinds[nColumn] == SORT_SIZE;

    // Keep the selection across the reordering.
    std::vector<QTreeWidgetItem*> rows;
    QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* current = currentItem();
    while (topLevelItemCount() > 0) rows.push_back(takeTopLevelItem(0));
    auto less = [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        if (!bAscending) std::swap(a, b);
        if (bySize) return ParseSizeText(a->text(nColumn).toStdString()) < ParseSizeText(b->text(nColumn).toStdString());
        return QString::localeAwareCompare(a->text(nColumn), b->text(nColumn)) < 0;
    };
    std::stable_sort(rows.begin(), rows.end(), less);
    for (QTreeWidgetItem* r : rows) addTopLevelItem(r);
    if (current) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* r : selected) r->setSelected(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(nColumn, bAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CAttachmentList::OnColumnClick(int nColumn) {
    SortColumn(nColumn, nColumn != m_nSortColumn || !m_bAscending);
}

void CAttachmentList::SelectCurrentIfNone() {
    if (topLevelItemCount() == 0 || !selectedItems().isEmpty()) return;
    QTreeWidgetItem* row = currentItem() ? currentItem() : topLevelItem(0);
    setCurrentItem(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CAttachmentList::focusInEvent(QFocusEvent* e) {
    QTreeWidget::focusInEvent(e);
    // A click picks its own row; only the keyboard (Tab, a mnemonic) gets one picked for it.
    if (e->reason() != Qt::MouseFocusReason) SelectCurrentIfNone();
}

void CAttachmentList::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
        SelectCurrentIfNone();
        QTreeWidgetItem* row = currentItem();
        QRect at = row ? visualItemRect(row) : QRect();
        emit customContextMenuRequested(row ? QPoint(at.left() + at.height() / 2, at.center().y()) : QPoint(0, 0));
        return;
    }
    QTreeWidget::keyPressEvent(e);
    switch (e->key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Home: case Qt::Key_End: case Qt::Key_PageUp: case Qt::Key_PageDown:
        SelectCurrentIfNone();
        break;
    default: break;
    }
}

void CAttachmentList::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidget::mouseDoubleClickEvent(e);
    emit DoubleClicked();
}
