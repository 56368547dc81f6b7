#include "ui/errorreport.h"

#include "core/error.h"
#include "core/messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace orvy::ui {

QString applicationTitle()
{
    return orvy::applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

void showErrorReport(QWidget *parent, const QString &message)
{
    QMessageBox box(
        QMessageBox::Critical, applicationTitle(), withFullStop(message), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("errorReport"));
    // Messages quote database and network text (a colour, an address): never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void reportCurrentException(QWidget *parent) noexcept
{
    QString message;
    try {
        throw;
    } catch (const orvy::Error &e) {
        message = e.message();
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    try {
        showErrorReport(parent, message);
    } catch (...) {
        // Nothing sensible is left to do if even the report fails.
    }
}

} // namespace orvy::ui
