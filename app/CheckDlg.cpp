#include "app/CheckDlg.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>
#include <tuple>

#include "app/CheckTask.h"
#include "ui/TextConversion.h"

namespace {

using ui::FromBytes;

QString Grouped(std::uint64_t n) { return QLocale().toString(static_cast<qulonglong>(n)); }

QIcon SeverityIcon(const QStyle* style, check::Severity severity) {
    switch (severity) {
    case check::Severity::Error: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case check::Severity::Warning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case check::Severity::Info: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case check::Severity::Ok: return style->standardIcon(QStyle::SP_DialogApplyButton);
    }
    return {};
}

// Values can be whole data: addresses; the cell shows their start.
QString Shortened(const std::string& s, std::size_t limit = 300) {
    if (s.size() <= limit) return FromBytes(s);
    return FromBytes(std::string_view(s).substr(0, limit)) + QChar(0x2026);
}

// The report's rows as a table. Sorting reorders a list of row numbers, so
// 100,000 rows sort without copying them; ties keep the report's order.
class CReportModel : public QAbstractTableModel {
public:
    CReportModel(const check::Report& report, const QStyle* style, QObject* parent)
        : QAbstractTableModel(parent), m_report(report), m_order(report.listRows.size()) {
        std::iota(m_order.begin(), m_order.end(), std::size_t{0});
        m_why.reserve(report.listRows.size());
        for (const check::Row& row : report.listRows) m_why.push_back(check::WhyText(report, row));
        for (auto s : {check::Severity::Ok, check::Severity::Info, check::Severity::Warning, check::Severity::Error})
            m_icons[static_cast<std::size_t>(s)] = SeverityIcon(style, s);
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_order.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : CCheckDlg::kColumns; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const titles[] = {"Severity", "Place", "Tag and attribute", "Value", "Verdict",
                                             "What happens and why"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= CCheckDlg::kColumns)
            return {};
        return QString::fromLatin1(titles[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_order.size()) return {};
        std::size_t at = m_order[static_cast<std::size_t>(index.row())];
        const check::Row& row = m_report.listRows[at];
        if (role == Qt::DecorationRole && index.column() == CCheckDlg::kSeverityColumn)
            return m_icons[static_cast<std::size_t>(row.severity)];
        if (role == Qt::DisplayRole) return Text(row, at, index.column());
        if (role == Qt::ToolTipRole) return ToolTip(row, at, index.column());
        return {};
    }

    void sort(int column, Qt::SortOrder order) override {
        beginResetModel();
        std::iota(m_order.begin(), m_order.end(), std::size_t{0});
        if (column >= 0 && column < CCheckDlg::kColumns) {
            auto less = [&](std::size_t a, std::size_t b) { return Less(column, a, b); };
            if (order == Qt::AscendingOrder)
                std::stable_sort(m_order.begin(), m_order.end(), less);
            else
                std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) { return less(b, a); });
        }
        endResetModel();
    }

    // The longest reasons by length in bytes: the ones that need the most lines.
    std::vector<QString> LongestWhy(std::size_t count) const {
        std::vector<std::size_t> order(m_why.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        count = std::min(count, order.size());
        auto longer = [&](std::size_t a, std::size_t b) { return m_why[a].size() > m_why[b].size(); };
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(), longer);
        std::vector<QString> texts;
        for (std::size_t i = 0; i < count; ++i) texts.push_back(FromBytes(m_why[order[i]]));
        return texts;
    }

private:
    bool Less(int column, std::size_t a, std::size_t b) const {
        const check::Row& x = m_report.listRows[a];
        const check::Row& y = m_report.listRows[b];
        switch (column) {
        case CCheckDlg::kSeverityColumn: return x.severity < y.severity;
        case CCheckDlg::kPlaceColumn:  // the page's rows first, then each style sheet's; numbers as numbers
            return std::tie(x.strSource, x.nLine, x.nColumn) < std::tie(y.strSource, y.nLine, y.nColumn);
        case CCheckDlg::kWhereColumn: return std::tie(x.strTag, x.strAttribute) < std::tie(y.strTag, y.strAttribute);
        case CCheckDlg::kValueColumn: return x.strValue < y.strValue;
        case CCheckDlg::kVerdictColumn:
            return std::string_view(check::VerdictName(x.verdict)) < std::string_view(check::VerdictName(y.verdict));
        case CCheckDlg::kWhyColumn: return m_why[a] < m_why[b];
        }
        return false;
    }

    QString Text(const check::Row& row, std::size_t at, int column) const {
        switch (column) {
        case CCheckDlg::kSeverityColumn: return QString::fromLatin1(check::SeverityName(row.severity));
        case CCheckDlg::kPlaceColumn: {
            QString place = QStringLiteral("%1:%2").arg(row.nLine).arg(row.nColumn);
            if (row.strSource.empty()) return place;
            return QFileInfo(FromBytes(row.strSource)).fileName() + QLatin1Char(' ') + place;
        }
        case CCheckDlg::kWhereColumn:
            return FromBytes(row.strTag) +
                   (row.strTag.empty() || row.strAttribute.empty() ? QString() : QStringLiteral(" ")) +
                   FromBytes(row.strAttribute);
        case CCheckDlg::kValueColumn: return Shortened(row.strValue);
        case CCheckDlg::kVerdictColumn: return QString::fromLatin1(check::VerdictName(row.verdict)).replace('-', ' ');
        case CCheckDlg::kWhyColumn: return FromBytes(m_why[at]);
        }
        return {};
    }

    QString ToolTip(const check::Row& row, std::size_t at, int column) const {
        switch (column) {
        case CCheckDlg::kPlaceColumn: return FromBytes(row.strSource.empty() ? m_report.strPage : row.strSource);
        case CCheckDlg::kValueColumn: return Shortened(row.strValue, 2000);
        case CCheckDlg::kWhyColumn: {
            QString text = FromBytes(m_why[at]);
            if (row.nPart >= 0) {
                const check::Part& part = m_report.listParts[static_cast<std::size_t>(row.nPart)];
                text += QStringLiteral("\n%1, %2, %3 bytes")
                            .arg(FromBytes(part.strFile), FromBytes(part.strContentType), Grouped(part.nSize));
            } else if (!row.strFile.empty()) {
                text += QLatin1Char('\n') + FromBytes(row.strFile);
            }
            return text;
        }
        default: return {};
        }
    }

    const check::Report& m_report;
    std::vector<std::size_t> m_order;  // the report's row shown on each line
    std::vector<std::string> m_why;
    std::array<QIcon, 4> m_icons;
};

// Only the reason wraps: a value or a place cut over two lines would read as two.
class CWrapReasonDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != CCheckDlg::kWhyColumn) option->features &= ~QStyleOptionViewItem::WrapText;
    }
};

// A cell that sorts by a number rather than by its text.
class CNumberItem : public QTableWidgetItem {
public:
    CNumberItem(const QString& text, double number) : QTableWidgetItem(text) { setData(Qt::UserRole + 1, number); }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole + 1).toDouble() < other.data(Qt::UserRole + 1).toDouble();
    }
};

QString PlaceText(const check::FeaturePlace& p) {
    QString place = QStringLiteral("%1:%2").arg(p.nLine).arg(p.nColumn);
    return p.strSource.empty() ? place : QFileInfo(FromBytes(p.strSource)).fileName() + QLatin1Char(' ') + place;
}

// The clients of a feature with this support, and a tooltip with each one's notes.
std::pair<QString, QString> ClientsWith(const check::SupportReport& support, const check::FeatureRow& feature,
                                        check::Support which) {
    QStringList names, lines;
    for (const check::ClientVerdict& v : feature.listSupport) {
        if (v.support != which) continue;
        const QString name = FromBytes(support.listClients[v.nClient].strName);
        names << name;
        QString line = v.strVersion.empty() ? name : name + QStringLiteral(" (tested: %1)").arg(FromBytes(v.strVersion));
        for (const std::string& note : v.listNotes) line += QStringLiteral("\n    ") + FromBytes(note);
        lines << line;
    }
    return {names.join(QStringLiteral(", ")), lines.join(QLatin1Char('\n'))};
}

// The place's line and column (columns count UTF-8 characters, as the check
// does) as a position in the text the page view shows.
QString ViewText(const QByteArray& bytes) { return FromBytes(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
int ViewPosition(const QByteArray& bytes, std::uint32_t line, std::uint32_t column) {
    qsizetype at = 0;
    for (std::uint32_t l = 1; l < line && at < bytes.size(); ++at)
        if (bytes[at] == '\n') ++l;
    for (std::uint32_t c = 1; at < bytes.size() && bytes[at] != '\n'; ++at)
        if ((static_cast<unsigned char>(bytes[at]) & 0xC0) != 0x80 && c++ == column) break;
    return static_cast<int>(ViewText(bytes.left(at)).size());
}

QString Plural(std::size_t n, const char* noun) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(noun)).arg(n == 1 ? "" : "s");
}

} // namespace

std::vector<WarningKind> WarningKinds(const check::Report& report) {
    std::vector<WarningKind> kinds;
    auto add = [&](std::string_view id, std::string_view text) {
        auto found = std::find_if(kinds.begin(), kinds.end(), [&](const WarningKind& k) { return k.strId == id; });
        if (found == kinds.end()) found = kinds.insert(kinds.end(), WarningKind{std::string(id), FromBytes(text), 0, false});
        ++found->nCount;
    };
    // A row's kinds that are warnings in their own right: a remote SVG image warns as an SVG.
    for (const check::Row& row : report.listRows)
        if (row.severity == check::Severity::Warning)
            for (check::Reason reason : check::RowKinds(row))
                if (check::ReasonSeverity(reason) == check::Severity::Warning)
                    add(check::KindName(reason), check::ReasonText(reason));
    // A finding's figure belongs to this report: the box shows the whole of it.
    for (const check::Finding& finding : report.listFindings)
        if (finding.severity == check::Severity::Warning) add(check::KindName(finding.kind), finding.strText);
    return kinds;
}

CCheckDlg::CCheckDlg(QWidget* pOwner, check::Report report) : QDialog(pOwner), m_report(std::move(report)) {
    Build(QString());
}

CCheckDlg::CCheckDlg(QWidget* pOwner, check::Report report, const QString& strGoOn, std::vector<WarningKind> kinds)
    : QDialog(pOwner), m_report(std::move(report)), m_listKinds(std::move(kinds)) {
    Build(strGoOn);
}

// The task first: its threads end before the report they were given copies of goes.
CCheckDlg::~CCheckDlg() { delete m_pTask; }

void CCheckDlg::Build(const QString& strGoOn) {
    setWindowTitle(QStringLiteral("Check Page - Quillory"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    unsigned errors = m_report.Count(check::Severity::Error), warnings = m_report.Count(check::Severity::Warning);
    auto* summary = new QLabel(this);
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    summary->setText(QStringLiteral("%1\n%2, %3, %4")
                         .arg(FromBytes(m_report.strPage), Plural(errors, "error"), Plural(warnings, "warning"),
                              Plural(m_report.listRows.size(), "reference")));
    layout->addWidget(summary);

    // The references with the message's figures; in the Check command's form, the first of its tabs.
    auto* references = new QWidget(this);
    auto* refLayout = new QVBoxLayout(references);
    refLayout->setContentsMargins(0, 0, 0, 0);
    m_pTable = new QTableView(references);
    auto* model = new CReportModel(m_report, style(), m_pTable);
    m_pTable->setModel(model);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setAlternatingRowColors(true);
    m_pTable->setWordWrap(true);
    m_pTable->setItemDelegate(new CWrapReasonDelegate(m_pTable));
    m_pTable->verticalHeader()->hide();
    // One fixed height for every row, set by FitReasons: the view never measures 100,000 rows.
    QFontMetrics fm(m_pTable->font());
    m_pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = m_pTable->horizontalHeader();
    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Narrow columns for the short texts; the reason takes the width to spare
    // and wraps. A longer cell is elided, with the whole of it in its tooltip.
    const int pad = fm.height() + 8;  // the cell's margins
    const int arrow = fm.height();    // the sort arrow beside a title
    auto widest = [&](std::initializer_list<const char*> texts) {
        int w = 0;
        for (const char* t : texts) w = std::max(w, fm.horizontalAdvance(QString::fromLatin1(t)));
        return w + pad;
    };
    m_pTable->setColumnWidth(kSeverityColumn,
                             std::max(widest({"warning"}) + m_pTable->iconSize().width(), widest({"Severity"}) + arrow));
    // Short of room, these give up width in this order, down to their
    // common contents; a title cut short keeps its start.
    m_listFits = {{kValueColumn, fm.averageCharWidth() * 24 + pad, fm.averageCharWidth() * 10},
                  {kWhereColumn, widest({"link href", "input src", "Tag and attribute"}), widest({"input src"})},
                  {kPlaceColumn, widest({"a.css 9999:99", "Place"}) + arrow, widest({"9999:99"})},
                  {kVerdictColumn, widest({"not embedded", "not a file"}) + arrow, widest({"not embedded"})}};
    for (const ColumnFit& fit : m_listFits) m_pTable->setColumnWidth(fit.nColumn, fit.nWidth);
    m_listLongestWhy = model->LongestWhy(20);
    m_pTable->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) {
        if (column == kWhyColumn) FitRowHeight();
    });
    FitRowHeight();
    // No arrow at first: the rows stand in the report's order, a style sheet's after its link.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_pTable->setSortingEnabled(true);
    refLayout->addWidget(m_pTable, 1);

    // The message as a whole.
    const check::Figures& f = m_report.figures;
    auto* figures = new QFormLayout;
    auto line = [&](const char* label, const QString& text) {
        auto* value = new QLabel(text, this);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addRow(QString::fromLatin1(label), value);
    };
    QString size = f.bSizeKnown ? Grouped(f.nMessageSize) + QStringLiteral(" bytes")
                                : QStringLiteral("unknown: the message cannot be composed");
    size += QStringLiteral("; Gmail and Outlook.com accept up to %1 MB").arg(check::kMessageSizeLimit >> 20);
    if (f.nServerSizeLimit) size += QStringLiteral(", the server %1 bytes").arg(Grouped(f.nServerSizeLimit));
    line("Message size:", size);
    line("HTML part:", QStringLiteral("%1 bytes; Gmail clips it at %2 KB")
                           .arg(Grouped(f.nHtmlPartSize))
                           .arg(check::kGmailClipSize / 1024));
    line("Remote images:", QString::number(f.nRemoteImages));
    QString alt = QString::number(f.listImagesWithoutAlt.size());
    for (std::size_t i = 0; i < f.listImagesWithoutAlt.size() && i < 10; ++i)
        alt += (i ? QStringLiteral(", ") : QStringLiteral(" at ")) +
               QStringLiteral("%1:%2").arg(f.listImagesWithoutAlt[i].nLine).arg(f.listImagesWithoutAlt[i].nColumn);
    if (f.listImagesWithoutAlt.size() > 10) alt += QStringLiteral(", ...");
    line("Images without alt text:", alt);
    refLayout->addLayout(figures);

    if (!m_report.listFindings.empty()) {
        auto* findings = new QListWidget(this);
        for (const check::Finding& finding : m_report.listFindings)
            new QListWidgetItem(SeverityIcon(style(), finding.severity), FromBytes(finding.strText), findings);
        findings->setWordWrap(true);
        const int small = style()->pixelMetric(QStyle::PM_SmallIconSize);
        findings->setIconSize(QSize(small, small));
        findings->setFixedHeight(
            (fm.height() + 6) * static_cast<int>(std::min<std::size_t>(m_report.listFindings.size(), 4)) +
            2 * findings->frameWidth() + 4);
        refLayout->addWidget(findings);
    }
    if (strGoOn.isEmpty()) {
        m_pTabs = new QTabWidget(this);
        m_pTabs->addTab(references, QStringLiteral("References"));
        if (m_report.clientSupport.bDone) {
            const unsigned w = m_report.clientSupport.Warnings();
            m_pTabs->addTab(BuildClientSupport(),
                            w ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon(),
                            QStringLiteral("Client support"));
        }
        m_pTabs->addTab(BuildSpam(), QStringLiteral("Spam"));
        m_pTabs->addTab(BuildLinks(), QStringLiteral("Links"));
        layout->addWidget(m_pTabs, 1);
    } else {
        layout->addWidget(references, 1);
    }

    auto* buttons = new QDialogButtonBox(this);
    if (strGoOn.isEmpty()) {
        buttons->addButton(QDialogButtonBox::Close)->setDefault(true);
        m_pLinksButton = buttons->addButton(QStringLiteral("Check &Links"), QDialogButtonBox::ActionRole);
        m_pStopButton = buttons->addButton(QStringLiteral("&Stop"), QDialogButtonBox::ActionRole);
        m_pLinksButton->setToolTip(QStringLiteral("Asks each http(s) link and remote image of the page whether it answers"));
        for (QPushButton* b : {m_pLinksButton, m_pStopButton}) b->setAutoDefault(false);
        UpdateButtons();
    } else {
        if (!m_listKinds.empty()) {
            auto* box = new QGroupBox(QStringLiteral("Don't show again for this page"), this);
            auto* boxLayout = new QVBoxLayout(box);
            for (const WarningKind& kind : m_listKinds) {
                QString text = kind.nCount > 1 ? kind.strText + QStringLiteral(" (%1)").arg(kind.nCount) : kind.strText;
                auto* check = new QCheckBox(fm.elidedText(text, Qt::ElideMiddle, fm.averageCharWidth() * 100), box);
                check->setToolTip(text);
                check->setChecked(kind.bHidden);
                boxLayout->addWidget(check);
                m_listKindBoxes.push_back(check);
            }
            layout->addWidget(box);
        }
        m_pGoOn = buttons->addButton(strGoOn, QDialogButtonBox::AcceptRole);
        QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
        // A message that cannot be composed would only fail again, for the reason shown above.
        m_pGoOn->setEnabled(f.bSizeKnown);
        (errors ? cancel : m_pGoOn)->setDefault(true);
    }
    // The keyboard starts on the buttons; a frame on the table's first cell would read as a selection.
    for (QAbstractButton* b : buttons->buttons())
        if (auto* p = qobject_cast<QPushButton*>(b); p && p->isDefault()) p->setFocus();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    QSize wanted(fm.averageCharWidth() * 150, fm.height() * 36);
    if (QScreen* s = screen()) wanted = wanted.boundedTo(s->availableGeometry().size() * 9 / 10);
    resize(wanted.expandedTo(minimumSizeHint()));
}

bool CCheckDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pTable->viewport() && pEvent->type() == QEvent::Resize) FitColumns();
    return QDialog::eventFilter(pWatched, pEvent);
}

// The reason keeps room for about 45 characters a line while the other
// columns can give it: at the size the dialog opens at, whatever the scale,
// the table needs no horizontal scroll bar.
void CCheckDlg::FitColumns() {
    int deficit = QFontMetrics(m_pTable->font()).averageCharWidth() * 45 + m_pTable->columnWidth(kSeverityColumn) -
                  m_pTable->viewport()->width();
    for (const ColumnFit& fit : m_listFits) deficit += fit.nWidth;
    for (const ColumnFit& fit : m_listFits) {
        const int give = std::clamp(deficit, 0, fit.nWidth - fit.nLeast);
        m_pTable->setColumnWidth(fit.nColumn, fit.nWidth - give);
        deficit -= give;
    }
}

// As many lines as the longest reasons need at the column's width, up to
// three; what is longer still is elided, and whole in its tooltip.
void CCheckDlg::FitRowHeight() {
    QFontMetrics fm(m_pTable->font());
    const int margins = 2 * (m_pTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_pTable) + 1);
    const int width = std::max(1, m_pTable->columnWidth(kWhyColumn) - margins);
    int lines = 1;
    for (const QString& text : m_listLongestWhy)
        lines = std::max(lines, fm.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text).height() /
                                    fm.lineSpacing());
    lines = std::min(lines, 3);
    m_pTable->verticalHeader()->setDefaultSectionSize(
        std::max(fm.lineSpacing() * lines + fm.height() - fm.lineSpacing(), m_pTable->iconSize().height()) + 6);
}

std::vector<std::string> CCheckDlg::HiddenKinds() const {
    std::vector<std::string> hidden;
    for (std::size_t i = 0; i < m_listKindBoxes.size(); ++i)
        if (m_listKindBoxes[i]->isChecked()) hidden.push_back(m_listKinds[i].strId);
    return hidden;
}

// Clients with their scores beside the features the page uses, and below
// them the page itself, where a double-clicked feature is shown.
QWidget* CCheckDlg::BuildClientSupport() {
    const check::SupportReport& support = m_report.clientSupport;
    auto* split = new QSplitter(Qt::Vertical, this);
    auto* tables = new QSplitter(Qt::Horizontal, split);
    auto table = [&](QStringList titles) {
        auto* t = new QTableWidget(0, static_cast<int>(titles.size()), tables);
        t->setHorizontalHeaderLabels(titles);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->setAlternatingRowColors(true);
        t->verticalHeader()->hide();
        t->setWordWrap(false);
        t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        t->horizontalHeader()->setHighlightSections(false);
        t->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // the report's order until asked
        return t;
    };
    auto number = [](double n, const QString& text) { return new CNumberItem(text, n); };

    m_pClients = table({QStringLiteral("Client"), QStringLiteral("Score"), QStringLiteral("Yes"),
                        QStringLiteral("Partly"), QStringLiteral("No"), QStringLiteral("Not tested")});
    m_pClients->setRowCount(static_cast<int>(support.listClients.size()));
    for (int i = 0; i < m_pClients->rowCount(); ++i) {
        const check::ClientScore& c = support.listClients[static_cast<std::size_t>(i)];
        auto* name = new QTableWidgetItem(FromBytes(c.strName));
        name->setToolTip(FromBytes(c.strId));
        m_pClients->setItem(i, 0, name);
        m_pClients->setItem(i, 1, c.HasScore() ? number(c.Score(), QStringLiteral("%1 %").arg(c.Score(), 0, 'f', 0))
                                               : number(-1, QStringLiteral("-")));
        unsigned counts[] = {c.nYes, c.nPartial, c.nNo, c.nUnknown};
        for (int k = 0; k < 4; ++k) m_pClients->setItem(i, 2 + k, number(counts[k], QString::number(counts[k])));
    }
    m_pClients->resizeColumnsToContents();
    const QFontMetrics fm(m_pClients->font());
    m_pClients->setColumnWidth(0, std::min(m_pClients->columnWidth(0), fm.averageCharWidth() * 20));  // elided beyond
    m_pClients->setSortingEnabled(true);
    int clientsWidth = 2 * m_pClients->frameWidth() + m_pClients->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < m_pClients->columnCount(); ++c) clientsWidth += m_pClients->columnWidth(c);

    m_pFeatures = table({QStringLiteral("Feature"), QStringLiteral("Count"), QStringLiteral("First place"),
                         QStringLiteral("Not supported by"), QStringLiteral("Partly supported by")});
    m_pFeatures->setRowCount(static_cast<int>(support.listFeatures.size()));
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < m_pFeatures->rowCount(); ++i) {
        const check::FeatureRow& f = support.listFeatures[static_cast<std::size_t>(i)];
        auto* title = new QTableWidgetItem(FromBytes(f.strTitle));
        title->setData(Qt::UserRole, i);
        if (f.bWarning) title->setIcon(warning);
        title->setToolTip(FromBytes(f.strTitle) + QLatin1Char('\n') + FromBytes(f.strUrl) +
                          (f.bWarning ? QStringLiteral("\nA default client does not support it at all.") : QString()));
        m_pFeatures->setItem(i, kFeatureColumn, title);
        m_pFeatures->setItem(i, kCountColumn, number(static_cast<double>(f.nCount), QString::number(f.nCount)));
        QStringList places;
        for (const check::FeaturePlace& p : f.listPlaces) places << PlaceText(p);
        auto* first = new QTableWidgetItem(places.value(0));
        first->setToolTip(places.join(QLatin1Char('\n')) +
                          (f.nCount > f.listPlaces.size() ? QStringLiteral("\n...") : QString()) +
                          QStringLiteral("\nDouble-click to see it in the page."));
        m_pFeatures->setItem(i, kFirstPlaceColumn, first);
        for (auto [column, which] : {std::pair{kLackingColumn, check::Support::No}, {kPartlyColumn, check::Support::Partial}}) {
            auto [names, notes] = ClientsWith(support, f, which);
            auto* cell = new QTableWidgetItem(names);
            cell->setToolTip(notes);
            m_pFeatures->setItem(i, column, cell);
        }
    }
    m_pFeatures->setColumnWidth(kFeatureColumn, fm.averageCharWidth() * 24);
    m_pFeatures->setColumnWidth(kCountColumn, fm.horizontalAdvance(QStringLiteral("Count")) + fm.height());
    m_pFeatures->setColumnWidth(kFirstPlaceColumn, fm.averageCharWidth() * 13);
    m_pFeatures->setColumnWidth(kLackingColumn, fm.averageCharWidth() * 28);
    m_pFeatures->horizontalHeader()->setStretchLastSection(true);
    m_pFeatures->setSortingEnabled(true);
    connect(m_pFeatures, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        const std::size_t at = static_cast<std::size_t>(m_pFeatures->item(row, kFeatureColumn)->data(Qt::UserRole).toInt());
        const check::FeatureRow& f = m_report.clientSupport.listFeatures[at];
        if (!f.listPlaces.empty()) ShowPlace(f.listPlaces.front());
    });
    tables->setStretchFactor(1, 1);
    tables->setSizes({clientsWidth, fm.averageCharWidth() * 150});

    m_pPageView = new QPlainTextEdit(split);
    m_pPageView->setReadOnly(true);
    m_pPageView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pPageView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pPageView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pPageView->setPlaceholderText(QStringLiteral("Double-click a feature to see where it is used."));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    return split;
}

void CCheckDlg::ShowPlace(const check::FeaturePlace& place) {
    const std::string& file = place.strSource.empty() ? m_report.strPage : place.strSource;
    if (file != m_strViewSource) {
        QFile f(QFile::decodeName(file.c_str()));
        if (!f.open(QIODevice::ReadOnly)) {
            m_pPageView->setPlainText(QStringLiteral("%1 cannot be read: %2").arg(FromBytes(file), f.errorString()));
            m_strViewSource.clear();
            return;
        }
        m_viewBytes = f.readAll();
        m_pPageView->setPlainText(ViewText(m_viewBytes));
        m_strViewSource = file;
    }
    QTextCursor cursor(m_pPageView->document());
    cursor.setPosition(ViewPosition(m_viewBytes, place.nLine, place.nColumn));
    QTextEdit::ExtraSelection line;
    line.format.setBackground(palette().highlight().color().lighter(170));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = cursor;
    m_pPageView->setExtraSelections({line});
    m_pPageView->setTextCursor(cursor);
    m_pPageView->centerCursor();
    m_pPageView->setFocus();
}

QWidget* CCheckDlg::BuildSpam() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    m_pSpamLine = new QLabel(QStringLiteral("SpamAssassin was not asked."), page);
    m_pSpamLine->setWordWrap(true);
    m_pSpamLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pSpamLine);
    m_pSpamRules = new QTableWidget(0, 4, page);
    m_pSpamRules->setHorizontalHeaderLabels({QStringLiteral("Rule"), QStringLiteral("Points"),
                                             QStringLiteral("What it found"), QStringLiteral("What you can change")});
    m_pSpamRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pSpamRules->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pSpamRules->setAlternatingRowColors(true);
    m_pSpamRules->verticalHeader()->hide();
    m_pSpamRules->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pSpamRules->horizontalHeader()->setStretchLastSection(true);
    m_pSpamRules->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // SpamAssassin's order, most points first
    const QFontMetrics fm(m_pSpamRules->font());
    m_pSpamRules->setColumnWidth(0, fm.averageCharWidth() * 32);
    m_pSpamRules->setColumnWidth(1, fm.horizontalAdvance(QStringLiteral("Points")) + fm.height() * 2);
    m_pSpamRules->setColumnWidth(2, fm.averageCharWidth() * 50);
    layout->addWidget(m_pSpamRules, 1);
    return page;
}

QWidget* CCheckDlg::BuildLinks() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    m_pLinksLine = new QLabel(QStringLiteral("Nothing leaves this computer until you press Check Links: then each "
                                             "http(s) link and remote image of the page is asked whether it answers."),
                              page);
    m_pLinksLine->setWordWrap(true);
    layout->addWidget(m_pLinksLine);
    m_pLinks = new QTableWidget(0, 4, page);
    m_pLinks->setHorizontalHeaderLabels(
        {QStringLiteral("Place"), QStringLiteral("Address"), QStringLiteral("Answer"), QStringLiteral("Redirects")});
    m_pLinks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pLinks->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pLinks->setAlternatingRowColors(true);
    m_pLinks->setWordWrap(false);
    m_pLinks->verticalHeader()->hide();
    m_pLinks->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pLinks->horizontalHeader()->setStretchLastSection(true);
    m_pLinks->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // the page's order
    const QFontMetrics fm(m_pLinks->font());
    m_pLinks->setColumnWidth(0, fm.averageCharWidth() * 16);
    m_pLinks->setColumnWidth(1, fm.averageCharWidth() * 44);
    m_pLinks->setColumnWidth(2, fm.averageCharWidth() * 48);
    layout->addWidget(m_pLinks, 1);
    return page;
}

void CCheckDlg::Follow(CCheckTask* pTask) {
    delete m_pTask;
    m_pTask = pTask;
    pTask->setParent(nullptr);  // deleted by this dialog, before its report
    if (pTask->IsSpamRunning()) m_pSpamLine->setText(QStringLiteral("SpamAssassin is reading the message..."));
    connect(pTask, &CCheckTask::SpamVerdictCame, this, &CCheckDlg::ShowSpam);
    connect(pTask, &CCheckTask::LinksChecked, this, &CCheckDlg::ShowLinks);
    connect(m_pLinksButton, &QPushButton::clicked, this, [this] {
        m_pTask->CheckLinks(m_report);
        m_pTabs->setCurrentWidget(m_pLinks->parentWidget());
        m_pLinksLine->setText(QStringLiteral("Asking each address; the answers come in when all have come..."));
        UpdateButtons();
    });
    connect(m_pStopButton, &QPushButton::clicked, this, [this] {
        m_pTask->Stop();
        m_pStopButton->setEnabled(false);
    });
    UpdateButtons();
}

void CCheckDlg::UpdateButtons() {
    if (!m_pLinksButton) return;
    const bool spam = m_pTask && m_pTask->IsSpamRunning(), links = m_pTask && m_pTask->AreLinksRunning();
    m_pLinksButton->setEnabled(m_pTask && !links);
    m_pStopButton->setEnabled(spam || links);
}

void CCheckDlg::ShowSpam(const check::SpamVerdict& verdict) {
    UpdateButtons();
    const int tab = m_pTabs->indexOf(m_pSpamRules->parentWidget());
    m_pTabs->setTabIcon(tab, verdict.IsSpam() ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    if (verdict.state != check::SpamState::Done) {
        // Said once, and plainly: not having SpamAssassin is no fault of the page.
        m_pSpamLine->setText(verdict.strWhy.empty() ? QStringLiteral("SpamAssassin gave no verdict.")
                                                    : FromBytes(verdict.strWhy).left(1).toUpper() +
                                                          FromBytes(verdict.strWhy).mid(1) + QLatin1Char('.'));
        return;
    }
    m_pSpamLine->setText(
        QStringLiteral("SpamAssassin gives the message %1 points; at %2 or more it counts as spam. %3")
            .arg(verdict.dScore, 0, 'f', 1)
            .arg(verdict.dThreshold, 0, 'f', 1)
            .arg(verdict.IsSpam() ? QStringLiteral("Many filters would put it in the spam folder: see the hints below.")
                                  : QStringLiteral("It passes.")));
    m_pSpamRules->setSortingEnabled(false);
    m_pSpamRules->setRowCount(static_cast<int>(verdict.listRules.size()));
    for (int i = 0; i < m_pSpamRules->rowCount(); ++i) {
        const check::SpamRule& r = verdict.listRules[static_cast<std::size_t>(i)];
        m_pSpamRules->setItem(i, 0, new QTableWidgetItem(FromBytes(r.strName)));
        m_pSpamRules->setItem(i, 1, new CNumberItem(QString::number(r.dScore, 'f', 1), r.dScore));
        m_pSpamRules->setItem(i, 2, new QTableWidgetItem(FromBytes(r.strDescription)));
        m_pSpamRules->setItem(i, 3, new QTableWidgetItem(FromBytes(r.strHint)));
        for (int c : {2, 3}) m_pSpamRules->item(i, c)->setToolTip(m_pSpamRules->item(i, c)->text());
    }
    m_pSpamRules->setSortingEnabled(true);
}

void CCheckDlg::ShowLinks(const check::LinkReport& links) {
    UpdateButtons();
    const unsigned warnings = links.Warnings();
    m_pLinksLine->setText(links.listLinks.empty()
                              ? QStringLiteral("The page has no http(s) links or remote images.")
                              : QStringLiteral("%1 %2 checked, %3.")
                                    .arg(links.listLinks.size())
                                    .arg(links.listLinks.size() == 1 ? "address" : "addresses", Plural(warnings, "problem")));
    m_pTabs->setTabIcon(m_pTabs->indexOf(m_pLinks->parentWidget()),
                        warnings ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    m_pLinks->setSortingEnabled(false);
    m_pLinks->setRowCount(static_cast<int>(links.listLinks.size()));
    for (int i = 0; i < m_pLinks->rowCount(); ++i) {
        const check::LinkResult& l = links.listLinks[static_cast<std::size_t>(i)];
        auto* place = new QTableWidgetItem(SeverityIcon(style(), l.severity),
                                           PlaceText(check::FeaturePlace{l.strSource, l.nLine, l.nColumn}));
        m_pLinks->setItem(i, 0, place);
        auto* address = new QTableWidgetItem(Shortened(l.strUrl));
        address->setToolTip(Shortened(l.strUrl, 2000) +
                            (l.kind == check::LinkKind::Image ? QStringLiteral("\nan image") : QString()));
        m_pLinks->setItem(i, 1, address);
        QString answer = l.nStatus ? QString::number(l.nStatus) : QString();
        if (l.bGetAfterHead) answer += QStringLiteral(" (to GET, as HEAD was refused)");
        if (l.problem != check::LinkProblem::None && l.problem != check::LinkProblem::HttpError)
            answer = QString::fromLatin1(check::LinkProblemName(l.problem)).replace('-', ' ') +
                     (l.strError.empty() ? QString() : QStringLiteral(": ") + FromBytes(l.strError));
        auto* answerItem = new QTableWidgetItem(answer);
        answerItem->setToolTip(answer);
        m_pLinks->setItem(i, 2, answerItem);
        QStringList hops;
        for (const check::LinkRedirect& r : l.listRedirects)
            hops << QStringLiteral("%1 to %2").arg(r.nStatus).arg(Shortened(r.strLocation));
        auto* redirects = new QTableWidgetItem(hops.join(QStringLiteral(", then ")));
        redirects->setToolTip(hops.join(QLatin1Char('\n')));
        m_pLinks->setItem(i, 3, redirects);
    }
    m_pLinks->setSortingEnabled(true);
}
