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
    // Several existing files at once.
    virtual bool PromptForFiles(QWidget* owner, const QString& filter, QStringList& paths) = 0;
    // A warning titled "Quillory" with an OK button; detail, when given, is
    // shown under "Show Details...".
    virtual void MessageBox(QWidget* owner, const QString& text, const QString& detail = QString()) = 0;
    // The same warning, but it does not hold up the window: for a hand-off
    // that failed while the user went on working.
    virtual void Notify(QWidget* owner, const QString& text, const QString& detail = QString()) = 0;
    // A yes/no question; true for yes.
    virtual bool Question(QWidget* owner, const QString& text, const QString& yesText) = 0;
};

// The real dialogs.
IPrompts& QtPrompts();

// Handles the window events that are waiting, so windows repaint before long work.
void PumpMessages();
