#include "platform/qt/write_failed_box.h"

#include <QMessageBox>
#include <QPushButton>

WriteFailedAnswer ask_after_failed_write(QWidget* parent, const std::string& message) {
    QMessageBox box(QMessageBox::Warning, WRITE_FAILED_CAPTION,
                    QString::fromLocal8Bit(message.c_str()), QMessageBox::NoButton, parent);
    box.setObjectName("writeFailedBox");
    // A path may hold anything, markup included.
    box.setTextFormat(Qt::PlainText);
    QPushButton* saveAs = box.addButton(WRITE_FAILED_SAVE_AS, QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(WRITE_FAILED_DISCARD, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(WRITE_FAILED_CANCEL, QMessageBox::RejectRole);
    box.setDefaultButton(saveAs);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == saveAs)
        return WriteFailedAnswer::SaveAs;
    if (box.clickedButton() == discard)
        return WriteFailedAnswer::CloseWithoutSaving;
    return WriteFailedAnswer::Cancel;
}
