#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace orvy {

// The one kind of failure every service raises: a message for the user.
class Error : public std::exception {
public:
    explicit Error(QString message);

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace orvy
