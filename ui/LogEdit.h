#pragma once
#include <QPlainTextEdit>

// The log box of a send: the user may select and copy the dialogue but not
// change it, and gets no context menu; text comes only through AppendLog.
class CLogEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kTextLimit = 5 * 1048576;  // characters

    explicit CLogEdit(QWidget* parent = nullptr);
    // Adds one line at the end (line ends at its end become one). The view
    // follows the last line unless the user has scrolled away from it.
    void AppendLog(const std::string& strText);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    qsizetype m_nLength = 0;
};
