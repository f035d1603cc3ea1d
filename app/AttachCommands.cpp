// The attachment commands of the main window: add, drop, open, show, remove.
#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

#include "app/MainDlg.h"
#include "compose/PathUtil.h"
#include "platform/FileInfo.h"
#include "ui/AttachmentList.h"
#include "ui/Prompts.h"
#include "ui/TextConversion.h"

using ui::FromBytes;
using ui::ToBytes;

namespace {

// Symbolic links are this desktop's shortcuts; a chain longer than this is a loop.
constexpr int kMaxLinkHops = 32;

bool IsHtmlExtension(const std::string& path) {
    QString ext = FromBytes(GetFileExtension(path));
    return ext.compare(".htm", Qt::CaseInsensitive) == 0 || ext.compare(".html", Qt::CaseInsensitive) == 0;
}

} // namespace

int CMainDlg::AddAttachment(const std::string& strPath) {
    CAttachmentList* list = m_ui.pAttachList;
    int row = list->InsertRow(list->topLevelItemCount(), FromBytes(GetFileNamePart(strPath)));
    std::uint64_t size = 0;
    bool present = platform::GetFileSize64(strPath, size) && !platform::IsDirectory(strPath);
    QTreeWidgetItem* item = list->topLevelItem(row);
    static QFileIconProvider icons;
    QFileInfo info(FromBytes(strPath));
    item->setIcon(0, present ? icons.icon(info) : icons.icon(QFileIconProvider::File));
    item->setText(1, FromBytes(FormatFileSize(present ? size : 0)));
    item->setData(1, Qt::UserRole, QVariant::fromValue<quint64>(present ? size : 0));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(CAttachmentList::kPathColumn, FromBytes(strPath));
    if (!present) {
        // Kept, not dropped: the user decides, and Create Email will say what is missing.
        for (int c = 0; c < 3; ++c) {
            item->setForeground(c, list->palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(c, QStringLiteral("This file is missing: %1").arg(FromBytes(strPath)));
        }
    }
    list->scrollToItem(item);
    UpdateAttachTotal();
    OnUpdateAttachCommand();
    return row;
}

void CMainDlg::UpdateAttachTotal() {
    CAttachmentList* list = m_ui.pAttachList;
    int n = list->topLevelItemCount();
    quint64 total = 0;
    for (int i = 0; i < n; ++i) total += list->topLevelItem(i)->data(1, Qt::UserRole).toULongLong();
    m_ui.pAttachTotal->setText(n == 0 ? QStringLiteral("No attachments")
                                      : QStringLiteral("%1 %2, %3 in all")
                                            .arg(n)
                                            .arg(n == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                                            .arg(FromBytes(FormatFileSize(total))));
}

bool CMainDlg::FindAttachment(const std::string& strPath) const {
    // Paths are compared byte for byte: "a.txt" and "A.TXT" are two files here.
    QString path = FromBytes(strPath);
    for (int i = 0; i < m_ui.pAttachList->topLevelItemCount(); ++i)
        if (m_ui.pAttachList->topLevelItem(i)->text(CAttachmentList::kPathColumn) == path) return true;
    return false;
}

void CMainDlg::OnAttachAdd() {
    if (IsBusy()) return;
    QStringList paths;
    if (!m_services.prompts->PromptForFiles(this, QStringLiteral("Add Attachments"), QStringLiteral("All Files (*)"), paths)) return;
    PumpMessages();
    for (const QString& p : paths) {
        std::string path = ToBytes(p);
        if (!FindAttachment(path)) AddAttachment(path);
    }
}

void CMainDlg::OnAttachRemove() {
    // Top to bottom, one at a time, until nothing is selected; then the row
    // that took the place of the first one removed is selected, for the next Delete.
    CAttachmentList* list = m_ui.pAttachList;
    int firstRemoved = -1;
    for (;;) {
        int first = -1;
        for (int i = 0; i < list->topLevelItemCount() && first < 0; ++i)
            if (list->topLevelItem(i)->isSelected()) first = i;
        if (first < 0) break;
        if (firstRemoved < 0) firstRemoved = first;
        list->DeleteRow(first);
    }
    if (firstRemoved < 0) return;
    int count = list->topLevelItemCount();
    if (count > 0) {
        QTreeWidgetItem* next = list->topLevelItem(std::min(firstRemoved, count - 1));
        list->setCurrentItem(next);
        next->setSelected(true);
    }
    list->setFocus();
    UpdateAttachTotal();
    OnUpdateAttachCommand();
}

void CMainDlg::OnAttachRemoveAll() {
    m_ui.pAttachList->DeleteAllRows();
    UpdateAttachTotal();
    OnUpdateAttachCommand();
}

static QTreeWidgetItem* FirstSelected(CAttachmentList* list) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) return list->topLevelItem(i);
    return nullptr;
}

void CMainDlg::OnAttachOpen() {
    QTreeWidgetItem* row = FirstSelected(m_ui.pAttachList);
    if (!row) return;
    ShellOpen(ToBytes(row->text(CAttachmentList::kPathColumn)));
}

void CMainDlg::OnAttachBrowse() {
    QTreeWidgetItem* row = FirstSelected(m_ui.pAttachList);
    if (!row) return;
    SelectInExplorer(ToBytes(row->text(CAttachmentList::kPathColumn)));
}

void CMainDlg::OnUpdateAttachCommand() {
    bool selected = !m_ui.pAttachList->selectedItems().isEmpty();
    for (QAction* a : {m_act.pAttachOpen, m_act.pAttachShow, m_act.pAttachRemove}) a->setEnabled(selected);
    m_act.pAttachRemoveAll->setEnabled(m_ui.pAttachList->topLevelItemCount() > 0);
    m_ui.pAttachRemove->setEnabled(selected);
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();  // other URLs are passed over
    OnDropFiles(paths, e->position().toPoint());
    e->acceptProposedAction();
}

void CMainDlg::OnDropFiles(const QStringList& paths, const QPoint& pos) {
    QRect listRect(m_ui.pAttachList->mapTo(this, QPoint(0, 0)), m_ui.pAttachList->size());
    bool onList = listRect.contains(pos);
    std::vector<std::string> collected;
    for (const QString& p : paths) {
        std::string path = ToBytes(p);
        if (path.empty()) continue;
        if (!onList) {
            if (IsHtmlExtension(path)) PageChosen(p);
            break;  // only the first file counts outside the list
        }
        if (platform::IsDirectory(path) && !platform::IsSymbolicLink(path)) continue;
        bool folder = false;
        std::string target;
        for (int hop = 0; hop < kMaxLinkHops && platform::IsSymbolicLink(path); ++hop) {
            if (!platform::ResolveSymbolicLink(path, target)) break;
            path = target;
            if (platform::IsDirectory(path) && !platform::IsSymbolicLink(path)) {
                folder = true;
                break;
            }
        }
        if (folder) continue;
        // A link to a folder deeper in a chain ends here too.
        if (platform::IsDirectory(path)) continue;
        collected.push_back(path);
    }
    if (!onList) return;
    for (const std::string& path : collected)
        if (!FindAttachment(path)) AddAttachment(path);
}
