#include "app/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "core/Product.h"
#include "ui/DialogUnits.h"
#include "ui/HyperLink.h"

CAboutDlg::CAboutDlg(QWidget* parent, platform::Shell& shell, IPrompts& prompts)
    : QDialog(parent), m_pShell(&shell), m_pPrompts(&prompts) {
    setWindowTitle(QStringLiteral("About Quillory"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    DialogUnits du(font());
    setFixedSize(du.X(270), du.Y(127));

    auto button = [&](const char* text, int y) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setGeometry(du.Rect(202, y, 61, 14));
        return b;
    };
    QPushButton* ok = button("OK", 7);
    ok->setDefault(true);
    m_pCheckUpdates = button("&Check Updates", 25);
    m_pTellFriend = button("Tell a Friend", 43);
    m_pCheckUpdates->setAutoDefault(false);
    m_pTellFriend->setAutoDefault(false);

    auto* icon = new QLabel(this);
    QRect iconRect = du.Rect(7, 7, 21, 20);
    icon->setGeometry(iconRect);
    int side = std::min(iconRect.width(), iconRect.height());
    icon->setPixmap(QIcon(QStringLiteral(":/icons/quillory.png")).pixmap(side, side));

    auto label = [&](const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setGeometry(du.Rect(x, y, w, h));
        return l;
    };
    label(QStringLiteral("Quillory v2.0 build 617"), 35, 8, 160, 8);
    label(QStringLiteral("Turns an HTML page on disk into a self-contained e-mail message, with its pictures "
                         "and style sheets inside, and writes it as an .eml file or sends it by SMTP."),
          35, 26, 160, 40);

    m_linkHome = new CHyperLink(QStringLiteral("Visit Quillory Homepage"), this, shell, prompts);
    m_linkHome->setGeometry(du.Rect(35, 99, 176, 8));
    m_linkSupport = new CHyperLink(QStringLiteral("Feedback and Support"), this, shell, prompts);
    m_linkSupport->setGeometry(du.Rect(35, 112, 176, 8));

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCheckUpdates, &QPushButton::clicked, this, &CAboutDlg::OnCheckUpdates);
    connect(m_pTellFriend, &QPushButton::clicked, this, &CAboutDlg::OnTellFriend);
    OnInitDialog();
}

void CAboutDlg::OnInitDialog() {
    m_linkHome->SetLinkUrl(kHomePageUrl);
    m_linkHome->SetUnderlineMode(1);
    m_linkSupport->SetLinkUrl(FeedbackUrl());
    m_linkSupport->SetUnderlineMode(1);
}

void CAboutDlg::OnCheckUpdates() { OpenLinkCommand(this, *m_pShell, *m_pPrompts, CheckUpdatesUrl()); }

void CAboutDlg::OnTellFriend() { OpenLinkCommand(this, *m_pShell, *m_pPrompts, TellFriendUrl()); }
