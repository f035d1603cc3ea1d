#pragma once
#include <QHash>

#include "ui/DialogUnits.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Places a window's controls as its dialog template describes them: positions
// in dialog units of the window's font, each control filed under its id.
class CDialogTemplate {
public:
    CDialogTemplate(QWidget* pDialog, QHash<int, QWidget*>& controls);
    const DialogUnits& Units() const { return m_du; }

    QLabel* Label(const char* text, int x, int y, int w, int h);
    QLineEdit* Edit(int id, int x, int y, int w, int h);
    // Buttons never press themselves on Enter; the window decides what Enter does.
    QPushButton* Button(int id, const char* text, int x, int y, int w, int h);
    QCheckBox* Check(int id, const char* text, int x, int y, int w, int h);
    QFrame* EtchedLine(int x, int y, int w);

private:
    QWidget* m_pDialog;
    QHash<int, QWidget*>& m_controls;
    DialogUnits m_du;
};
