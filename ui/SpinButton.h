#pragma once
#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down arrow pair bound to an edit box, laid out on the box's right
// edge by its owner. Its arrows (and the Up and Down keys in the box) step the box's number
// within a range, written without thousands separators.
class CSpinButtonCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CSpinButtonCtrl(QWidget* parent);

    // Takes the edit box as buddy.
    void SetBuddy(QLineEdit* pBuddy);
    void SetRange32(int nLower, int nUpper);
    int Lower() const { return m_nLower; }
    int Upper() const { return m_nUpper; }
    // Moves the buddy's number by nDelta steps, held within the range.
    void Step(int nDelta);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLineEdit* m_pBuddy = nullptr;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLower = 0;
    int m_nUpper = 100;
};
