#include "app/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Product.h"
#include "ui/HyperLink.h"

CAboutDlg::CAboutDlg(QWidget* parent, platform::Shell& shell, IPrompts& prompts)
    : QDialog(parent), m_pShell(&shell), m_pPrompts(&prompts) {
    setWindowTitle(QStringLiteral("About Quillory"));

    auto* icon = new QLabel(this);
    int side = fontMetrics().height() * 2;
    icon->setPixmap(QIcon(QStringLiteral(":/icons/quillory.png")).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);

    auto label = [&](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        return l;
    };
    m_linkHome = new CHyperLink(QStringLiteral("Visit Quillory Homepage"), this, shell, prompts);
    m_linkSupport = new CHyperLink(QStringLiteral("Feedback and Support"), this, shell, prompts);
    auto* text = new QVBoxLayout;
    text->addWidget(label(QStringLiteral("Quillory v%1 build %2").arg(kQuilloryMajorMinor, kQuilloryBuild)));
    QLabel* about = label(QStringLiteral("Turns an HTML page on disk into a self-contained e-mail message, with its "
                                         "pictures and style sheets inside, and writes it as an .eml file or sends "
                                         "it by SMTP."));
    about->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    text->addWidget(about);
    text->addStretch(1);
    text->addWidget(m_linkHome);
    text->addWidget(m_linkSupport);

    auto button = [&](const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* ok = button("OK");
    ok->setDefault(true);
    m_pCheckUpdates = button("&Check Updates");
    m_pTellFriend = button("Tell a Friend");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(m_pCheckUpdates);
    buttons->addWidget(m_pTellFriend);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

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
