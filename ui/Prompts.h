#pragma once
#include <QString>

class QWidget;

// Everything that asks the user something in a modal window. The window's code
// goes through it so tests can answer instead of a person.
class IPrompts {
public:
    virtual ~IPrompts() = default;
    // A file dialog. filter is Qt's "Description (*.a *.b);;...". In save mode
    // defaultSuffix is added to names typed without one, and an existing file
    // is confirmed before it is chosen. True when the user chose a file.
    virtual bool PromptForFile(QWidget* owner, const QString& filter, bool save, const QString& defaultSuffix,
                               QString& path) = 0;
    // Several existing files at once, in a dialog titled title.
    virtual bool PromptForFiles(QWidget* owner, const QString& title, const QString& filter, QStringList& paths) = 0;
    // A warning titled "Quillory" with an OK button; detail, when given, is
    // shown under "Show Details...".
    virtual void MessageBox(QWidget* owner, const QString& text, const QString& detail = QString()) = 0;
    // The same warning, but the caller goes on at once: for a hand-off that
    // failed after its command had returned. The owner's window takes no input
    // until the box is closed.
    virtual void Notify(QWidget* owner, const QString& text, const QString& detail = QString()) = 0;
    // A yes/no question; true for yes.
    virtual bool Question(QWidget* owner, const QString& text, const QString& yesText) = 0;
    // Closes the question that is up, as if No had been chosen: what it asked about is over.
    virtual void WithdrawQuestion() = 0;
};

// The real dialogs.
IPrompts& QtPrompts();

// Handles the window events that are waiting, so windows repaint before long work.
void PumpMessages();
