#pragma once

#include <exception>
#include <string>
#include <utility>

// Base of every error the program's components raise: it carries a message text (UTF-8)
// and nothing else. The sound components and their errors need no toolkit, so that the
// command-line tools start without one.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Declares an exception class that derives from Exception and adds nothing.
#define JEERBOX_DECLARE_EXCEPTION(Name, Base) \
    class Name : public Base {                \
    public:                                   \
        using Base::Base;                     \
    };

JEERBOX_DECLARE_EXCEPTION(EStreamError, Exception)
JEERBOX_DECLARE_EXCEPTION(EFCreateError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EReadError, EStreamError)
JEERBOX_DECLARE_EXCEPTION(EWriteError, EStreamError)

// The text of a system error number, as the stream errors quote it.
std::string SystemErrorText(int error);
