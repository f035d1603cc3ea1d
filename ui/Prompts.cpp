#include "ui/Prompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

class RealPrompts : public IPrompts {
public:
    bool PromptForFile(QWidget* owner, const QString& filter, bool save, const QString& defaultSuffix,
                       QString& path) override {
        QFileDialog dlg(owner, QString(), QString(), filter);
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!defaultSuffix.isEmpty()) dlg.setDefaultSuffix(defaultSuffix);
        if (!path.isEmpty()) dlg.selectFile(path);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        path = dlg.selectedFiles().first();
        return true;
    }
    bool PromptForFiles(QWidget* owner, const QString& title, const QString& filter, QStringList& paths) override {
        QFileDialog dlg(owner, title, QString(), filter);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFiles);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        paths = dlg.selectedFiles();
        return true;
    }
    void MessageBox(QWidget* owner, const QString& text, const QString& detail) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Quillory"), text, QMessageBox::Ok, owner);
        if (!detail.isEmpty()) box.setDetailedText(detail);
        box.exec();
    }
    void Notify(QWidget* owner, const QString& text, const QString& detail) override {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillory"), text, QMessageBox::Ok, owner);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        if (!detail.isEmpty()) box->setDetailedText(detail);
        box->show();
    }
    bool Question(QWidget* owner, const QString& text, const QString& yesText) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Quillory"), text, QMessageBox::NoButton, owner);
        QPushButton* yes = box.addButton(yesText, QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        m_pQuestion = &box;
        box.exec();
        m_pQuestion = nullptr;
        return box.clickedButton() == yes;
    }
    void WithdrawQuestion() override {
        if (m_pQuestion) m_pQuestion->reject();
    }

private:
    QPointer<QMessageBox> m_pQuestion;
};

} // namespace

IPrompts& QtPrompts() {
    static RealPrompts prompts;
    return prompts;
}

void PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }
