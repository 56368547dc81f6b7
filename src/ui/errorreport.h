#pragma once

#include <QString>
#include <exception>

class QWidget;

namespace orvy::ui {

// The application title: from the executable's file name (see orvy::applicationTitle).
QString applicationTitle();

// The default error report: a modal box with a stop icon and one OK button.
void showErrorReport(QWidget *parent, const QString &message);

// Reports the exception in flight; call only from inside a catch block.
void reportCurrentException(QWidget *parent) noexcept;

// Qt carries no exception through its event loop: every handler runs through here,
// so a failure ends the handler, is reported, and the program goes on.
template<typename Handler> void guarded(QWidget *parent, Handler &&handler) noexcept
{
    try {
        handler();
    } catch (...) {
        reportCurrentException(parent);
    }
}

} // namespace orvy::ui
