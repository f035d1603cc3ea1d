#include "ui/DialogUnits.h"

#include <QFontMetrics>

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics fm(font);
    // The average width of the 52 letters, as dialog templates define it.
    int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = (width / 26 + 1) / 2;
    m_nBaseY = fm.height();
}
