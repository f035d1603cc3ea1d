#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CDialogTemplate::CDialogTemplate(QWidget* pDialog, QHash<int, QWidget*>& controls)
    : m_pDialog(pDialog), m_controls(controls), m_du(pDialog->font()) {}

QLabel* CDialogTemplate::Label(const char* text, int x, int y, int w, int h) {
    auto* l = new QLabel(QString::fromUtf8(text), m_pDialog);
    l->setGeometry(m_du.Rect(x, y, w, h));
    return l;
}

QLineEdit* CDialogTemplate::Edit(int id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(m_pDialog);
    e->setGeometry(m_du.Rect(x, y, w, h));
    m_controls.insert(id, e);
    return e;
}

QPushButton* CDialogTemplate::Button(int id, const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), m_pDialog);
    b->setGeometry(m_du.Rect(x, y, w, h));
    b->setAutoDefault(false);
    m_controls.insert(id, b);
    return b;
}

QCheckBox* CDialogTemplate::Check(int id, const char* text, int x, int y, int w, int h) {
    auto* c = new QCheckBox(QString::fromUtf8(text), m_pDialog);
    c->setGeometry(m_du.Rect(x, y, w, h));
    m_controls.insert(id, c);
    return c;
}

QFrame* CDialogTemplate::EtchedLine(int x, int y, int w) {
    auto* f = new QFrame(m_pDialog);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    f->setGeometry(m_du.X(x), m_du.Y(y), m_du.X(w), 2);
    return f;
}
