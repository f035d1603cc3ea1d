#include "ui/HyperLink.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPointer>

#include "ui/Prompts.h"

CHyperLink::CHyperLink(const QString& text, QWidget* parent, platform::Shell& shell, IPrompts& prompts)
    : QLabel(text, parent), m_pShell(&shell), m_pPrompts(&prompts) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);  // a plain static's placement
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // clickable where the text is, no wider
    PreSubclassWindow();
}

// Takes over the label: target from the text when none is set, the two fonts,
// the hand pointer and the tooltip.
void CHyperLink::PreSubclassWindow() {
    if (m_strUrl.empty()) m_strUrl = text().toStdString();
    if (text().isEmpty()) setText(QString::fromStdString(m_strUrl));
    m_fontPlain = font();
    m_fontPlain.setUnderline(false);
    m_fontUnderlined = m_fontPlain;
    m_fontUnderlined.setUnderline(true);
    FitToText();
    setCursor(Qt::PointingHandCursor);
    m_nUnderlineMode = -1;
    setFont(m_fontPlain);
    setToolTip(QString::fromStdString(m_strUrl));
    ApplyLook();
}

void CHyperLink::SetLinkUrl(const std::string& strUrl) {
    m_strUrl = strUrl;
    FitToText();
    setToolTip(QString::fromStdString(m_strUrl));
}

void CHyperLink::SetUnderlineMode(int nMode) {
    if (nMode == m_nUnderlineMode) return;
    setFont(nMode == 1 ? m_fontUnderlined : m_fontPlain);
    m_nUnderlineMode = nMode;
}

void CHyperLink::FitToText() {
    if (!m_bFitToText) return;
    QFontMetrics fm(m_fontUnderlined);
    QMargins m = contentsMargins();
    int w = fm.horizontalAdvance(text()) + m.left() + m.right() + 2 * margin();
    int h = fm.height() + m.top() + m.bottom() + 2 * margin();
    QRect r = geometry();
    Qt::Alignment a = alignment();
    int top = (a & Qt::AlignVCenter) ? r.center().y() - h / 2 : r.top();
    int left = r.left();
    if (a & Qt::AlignHCenter)
        left = r.center().x() - w / 2;
    else if (a & Qt::AlignRight)
        left = r.right() + 1 - w;
    setGeometry(left, top, w, h);
}

QColor CHyperLink::TextColour() const {
    if (m_bPointerOver) return m_crHover;
    return m_bVisited ? m_crVisited : m_crLink;
}

void CHyperLink::ApplyLook() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, TextColour());
    setPalette(p);
    update();
}

void CHyperLink::enterEvent(QEnterEvent* e) {
    if (!m_bPointerOver) {
        m_bPointerOver = true;
        if (m_nUnderlineMode == -1) setFont(m_fontUnderlined);
        ApplyLook();
    }
    QLabel::enterEvent(e);
}

void CHyperLink::leaveEvent(QEvent* e) {
    if (m_bPointerOver) {
        m_bPointerOver = false;
        if (m_nUnderlineMode != 1) setFont(m_fontPlain);
        ApplyLook();
    }
    QLabel::leaveEvent(e);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        e->accept();
        OnLinkClicked();
        return;
    }
    QLabel::mouseReleaseEvent(e);
}

void CHyperLink::OnLinkClicked() {
    m_bPointerOver = false;
    ApplyLook();
    QPointer<CHyperLink> self(this);
    platform::OpenUrl(*m_pShell, m_strUrl, [self](const platform::LinkResult& r) {
        if (!self) return;  // the box was closed before the opener ended
        self->m_bVisited = r.bOpened;
        self->ApplyLook();
        // A click that does nothing visible would leave the user guessing.
        if (!r.bOpened) ShowLinkError(*self->m_pPrompts, self->window(), self->m_strUrl, r);
    });
}

void CHyperLink::ShowLinkError(IPrompts& prompts, QWidget* owner, const std::string& strTarget,
                               const platform::LinkResult& result) {
    QApplication::beep();
    // The opener's own words on the first line; what was tried after it behind Show Details.
    QString reason = QString::fromStdString(result.strReason).trimmed();
    QString first = reason.section(QLatin1Char('\n'), 0, 0);
    if (first.isEmpty()) first = QStringLiteral("No program could open it.");
    prompts.Notify(owner, QStringLiteral("Unable to open hyperlink:\n\n%1\n\n%2").arg(QString::fromStdString(strTarget), first),
                   reason.contains(QLatin1Char('\n')) ? reason : QString());
}

void OpenLinkCommand(QWidget* owner, platform::Shell& shell, IPrompts& prompts, const std::string& strTarget) {
    QPointer<QWidget> guard(owner);
    platform::OpenUrl(shell, strTarget, [guard, &prompts, strTarget](const platform::LinkResult& r) {
        if (!r.bOpened) CHyperLink::ShowLinkError(prompts, guard, strTarget, r);
    });
}
