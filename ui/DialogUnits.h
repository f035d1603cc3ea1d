#pragma once
#include <QFont>
#include <QRect>

// Converts layout coordinates given in dialog units (a quarter of the average
// character width, an eighth of the character height) into pixels for a font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int dlu) const { return (dlu * m_nBaseX + 2) / 4; }
    int Y(int dlu) const { return (dlu * m_nBaseY + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

private:
    int m_nBaseX;
    int m_nBaseY;
};
