#pragma once
#include <QColor>
#include <QFont>
#include <QLabel>
#include <string>

#include "platform/OpenUrl.h"

class IPrompts;

// A text label that opens its target when clicked: link-coloured, purple once
// opened, red under the pointer, with the target as its tooltip.
class CHyperLink : public QLabel {
    Q_OBJECT
public:
    CHyperLink(const QString& text, QWidget* parent, platform::Shell& shell, IPrompts& prompts);

    void SetLinkUrl(const std::string& strUrl);
    const std::string& LinkUrl() const { return m_strUrl; }
    // 1: always underlined; -1: underlined while the pointer is over it; other: never.
    void SetUnderlineMode(int nMode);
    void FitToText();
    bool IsVisited() const { return m_bVisited; }
    QColor TextColour() const;

    // Beeps and shows, without holding up the caller, why a link could not be
    // opened: the link, then the opener's reason.
    static void ShowLinkError(IPrompts& prompts, QWidget* owner, const std::string& strTarget,
                              const platform::LinkResult& result);

    QColor m_crLink{0, 0, 238};
    QColor m_crVisited{85, 26, 139};
    QColor m_crHover{255, 0, 0};

public slots:
    void OnLinkClicked();

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void PreSubclassWindow();
    void ApplyLook();

    platform::Shell* m_pShell;
    IPrompts* m_pPrompts;
    bool m_bPointerOver = false;
    bool m_bVisited = false;
    int m_nUnderlineMode = -1;
    bool m_bFitToText = true;
    std::string m_strUrl;
    QFont m_fontUnderlined;
    QFont m_fontPlain;
};

// Opens target for a menu command or a button; the link error box follows if
// it fails.
void OpenLinkCommand(QWidget* owner, platform::Shell& shell, IPrompts& prompts, const std::string& strTarget);
