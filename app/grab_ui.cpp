#include "app/grab_ui.h"

#include "platform/win/shell.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QString ForDisplay(const QString& text)
{
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

TGrabUi::TOverwriteAnswer TQtGrabUi::AskOverwrite(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), ForDisplay(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll, FParent);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return oaYes;
    case QMessageBox::No:
        return oaNo;
    case QMessageBox::YesToAll:
        return oaYesToAll;
    default:
        // Closing the box is Cancel.
        return oaCancel;
    }
}

void TQtGrabUi::ShowError(const QString& text)
{
    QMessageBox::warning(FParent, QApplication::applicationDisplayName(), ForDisplay(text));
}

void TQtGrabUi::ShowInFolder(const QString& path)
{
    ::ShowInFolder(path);
}

QString OverwriteQuestionText(const QString& fileName)
{
    return QStringLiteral("The file %1 already exists. Do yout want to replace it?\r\n\r\n"
                          "Click on \"Yes to All\" to stop being prompted.")
        .arg(fileName);
}

QString WriteErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("The picture could not be saved as\r\n%1\r\n%2").arg(fileName, reason);
}
