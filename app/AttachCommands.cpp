// The attachment commands of the main window: add, drop, open, show, remove.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

#include "app/ControlIds.h"
#include "app/MainDlg.h"
#include "compose/PathUtil.h"
#include "platform/FileInfo.h"
#include "ui/AttachmentList.h"
#include "ui/Prompts.h"

namespace {

// Symbolic links are this desktop's shortcuts; a chain longer than this is a loop.
constexpr int kMaxLinkHops = 32;

std::string ToBytes(const QString& s) { return s.toStdString(); }
QString FromBytes(const std::string& s) { return QString::fromStdString(s); }

bool IsHtmlExtension(const std::string& path) {
    QString ext = FromBytes(GetFileExtension(path));
    return ext.compare(".htm", Qt::CaseInsensitive) == 0 || ext.compare(".html", Qt::CaseInsensitive) == 0;
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

int CMainDlg::AddAttachment(const std::string& strPath) {
    int row = m_listAttach->InsertRow(m_listAttach->topLevelItemCount(), FromBytes(GetFileNamePart(strPath)));
    std::uint64_t size = 0;
    if (!platform::GetFileSize64(strPath, size)) size = 0;
    QTreeWidgetItem* item = m_listAttach->topLevelItem(row);
    item->setText(1, FromBytes(FormatFileSize(size)));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(CAttachmentList::kPathColumn, FromBytes(strPath));
    m_listAttach->scrollToItem(item);
    return row;
}

bool CMainDlg::FindAttachment(const std::string& strPath) const {
    // Paths are compared byte for byte: "a.txt" and "A.TXT" are two files here.
    QString path = FromBytes(strPath);
    for (int i = 0; i < m_listAttach->topLevelItemCount(); ++i)
        if (m_listAttach->topLevelItem(i)->text(CAttachmentList::kPathColumn) == path) return true;
    return false;
}

void CMainDlg::OnAttachAdd() {
    WaitCursor wait;
    QStringList paths;
    if (!m_services.prompts->PromptForFiles(this, QStringLiteral("All Files (*)"), paths)) return;
    PumpMessages();
    for (const QString& p : paths) {
        std::string path = ToBytes(p);
        if (!FindAttachment(path)) AddAttachment(path);
    }
}

void CMainDlg::OnAttachRemove() {
    // Top to bottom, one at a time, until nothing is selected.
    for (;;) {
        int first = -1;
        for (int i = 0; i < m_listAttach->topLevelItemCount() && first < 0; ++i)
            if (m_listAttach->topLevelItem(i)->isSelected()) first = i;
        if (first < 0) break;
        m_listAttach->DeleteRow(first);
    }
}

void CMainDlg::OnAttachRemoveAll() { m_listAttach->DeleteAllRows(); }

static QTreeWidgetItem* FirstSelected(CAttachmentList* list) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) return list->topLevelItem(i);
    return nullptr;
}

void CMainDlg::OnAttachOpen() {
    QTreeWidgetItem* row = FirstSelected(m_listAttach);
    if (!row) return;
    WaitCursor wait;
    ShellOpen(ToBytes(row->text(CAttachmentList::kPathColumn)));
}

void CMainDlg::OnAttachBrowse() {
    QTreeWidgetItem* row = FirstSelected(m_listAttach);
    if (!row) return;
    WaitCursor wait;
    SelectInExplorer(ToBytes(row->text(CAttachmentList::kPathColumn)));
}

void CMainDlg::OnUpdateAttachCommand(QMenu* pMenu) {
    bool selected = !m_listAttach->selectedItems().isEmpty();
    bool any = m_listAttach->topLevelItemCount() > 0;
    for (QAction* a : pMenu->actions()) {
        switch (a->data().toInt()) {
        case ID_ATTACH_OPEN:
        case ID_ATTACH_BROWSE:
        case IDC_ATTACH_REMOVE:
            a->setEnabled(selected);
            break;
        case ID_ATTACH_REMOVE_ALL:
            a->setEnabled(any);
            break;
        default:
            break;
        }
    }
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
    QRect listRect = m_listAttach->geometry();
    bool onList = listRect.contains(pos);
    std::vector<std::string> collected;
    for (const QString& p : paths) {
        std::string path = ToBytes(p);
        if (path.empty()) continue;
        if (!onList) {
            if (IsHtmlExtension(path)) {
                m_strHtmlPath = path;
                static_cast<QLineEdit*>(Control(IDC_HTML_FILE))->setText(p);
            }
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
