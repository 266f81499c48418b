#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of every error the program's components raise: it carries a message text and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : FMessage(message), FWhat(message.toUtf8()) {}
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FWhat.constData(); }

private:
    QString FMessage;
    QByteArray FWhat;
};

// Declares an exception class that derives from Exception and adds nothing.
#define JEERBOX_DECLARE_EXCEPTION(Name, Base) \
    class Name : public Base {                 \
    public:                                    \
        using Base::Base;                      \
    };

JEERBOX_DECLARE_EXCEPTION(EStreamError, Exception)
JEERBOX_DECLARE_EXCEPTION(EFCreateError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EReadError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EWriteError, EStreamError)

// The message of any exception, as the program shows it.
QString ExceptionMessage(const std::exception& e);
