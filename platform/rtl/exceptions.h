// The platform's exception family. Every error the platform raises is one of these.
#pragma once
#include <stdexcept>
#include <string>

namespace vcl {

// Root of the family: carries the message text exactly as it will be shown to a person.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string m) { message_ = std::move(m); }
    int HelpContext = 0;

private:
    std::string message_;
};

#define DBV_DECLARE_EXCEPTION(Name, Base)                   \
    class Name : public Base {                              \
    public:                                                 \
        using Base::Base;                                   \
    }

DBV_DECLARE_EXCEPTION(EConvertError, Exception);
DBV_DECLARE_EXCEPTION(EListError, Exception);
DBV_DECLARE_EXCEPTION(EStringListError, EListError);
DBV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
DBV_DECLARE_EXCEPTION(EInvalidCast, Exception);
DBV_DECLARE_EXCEPTION(EInvalidArgument, Exception);
DBV_DECLARE_EXCEPTION(ERangeError, Exception);
DBV_DECLARE_EXCEPTION(EAbort, Exception);
DBV_DECLARE_EXCEPTION(EOutOfResources, Exception);
DBV_DECLARE_EXCEPTION(EInOutError, Exception);
DBV_DECLARE_EXCEPTION(EStreamError, Exception);
DBV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
DBV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
DBV_DECLARE_EXCEPTION(EReadError, EStreamError);
DBV_DECLARE_EXCEPTION(EWriteError, EStreamError);
DBV_DECLARE_EXCEPTION(EFilerError, EStreamError);
DBV_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
DBV_DECLARE_EXCEPTION(EComponentError, Exception);
DBV_DECLARE_EXCEPTION(EPropertyError, Exception);
DBV_DECLARE_EXCEPTION(EIniFileException, Exception);
DBV_DECLARE_EXCEPTION(ERegistryException, Exception);
DBV_DECLARE_EXCEPTION(EResNotFound, Exception);
DBV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
DBV_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);
DBV_DECLARE_EXCEPTION(EOutOfMemory, Exception);
DBV_DECLARE_EXCEPTION(EDatabaseError, Exception);

// An error reported by the table engine: the engine's numeric code travels with the text.
class EDBEngineError : public EDatabaseError {
public:
    EDBEngineError(int code, std::string message)
        : EDatabaseError(std::move(message)), code_(code) {}
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// Raises EAbort, the silent exception that unwinds without a message being shown.
[[noreturn]] void Abort();

}  // namespace vcl
