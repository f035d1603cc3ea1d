#pragma once
// The Qt side of CIconMenu: a popup whose entries the menu object measures
// and draws, and which lets the menu object answer typed mnemonics first.
#include <QMenu>

class CIconMenu;

class CIconMenuPopup : public QMenu {
    Q_OBJECT
public:
    CIconMenuPopup(CIconMenu* pOwner, QWidget* pParent);
    CIconMenu* Owner() const { return m_pOwner; }

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    CIconMenu* m_pOwner;
};
