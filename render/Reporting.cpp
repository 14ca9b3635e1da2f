#include "render/Reporting.h"

#include <QApplication>
#include <QMessageBox>

void ShowMessageBox(const std::string& message) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(message),
                    QMessageBox::Ok);
    box.exec();
}
