#pragma once
#include <QDialog>

#include "platform/Shell.h"

class CHyperLink;
class IPrompts;
class QPushButton;

// The About box: the program's name and build, links to the home page and to
// support, and buttons to check for updates and to tell a friend.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(QWidget* parent, platform::Shell& shell, IPrompts& prompts);

    CHyperLink* HomeLink() const { return m_linkHome; }
    CHyperLink* SupportLink() const { return m_linkSupport; }
    QPushButton* CheckUpdatesButton() const { return m_pCheckUpdates; }
    QPushButton* TellFriendButton() const { return m_pTellFriend; }

public slots:
    void OnCheckUpdates();
    void OnTellFriend();

private:
    void OnInitDialog();

    platform::Shell* m_pShell;
    IPrompts* m_pPrompts;
    CHyperLink* m_linkHome;
    CHyperLink* m_linkSupport;
    QPushButton* m_pCheckUpdates;
    QPushButton* m_pTellFriend;
};
