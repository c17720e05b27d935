#pragma once

#include <QString>

#include <exception>

// Base of the program's own exceptions: carries the user-visible (translated) message.
class EAkError : public std::exception
{
public:
    explicit EAkError(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
    const QString &Message() const noexcept { return FMessage; }
    const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Raised when a file cannot be created, opened or written; ErrorCode is the errno value.
class EExtFileStreamError : public EAkError
{
public:
    EExtFileStreamError(QString message, int errorCode) : EAkError(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};

// Raised by CopyFileTS.
class ECopyError : public EExtFileStreamError
{
public:
    using EExtFileStreamError::EExtFileStreamError;
};

// Raised when an INI document cannot be saved ("Error writing to ...").
class EIniWriteError : public EAkError
{
public:
    EIniWriteError(QString message, int errorCode) : EAkError(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
