// The framework's exception classes. Every error the stand-in raises is an
// Exception (derived from std::exception) with a readable Message.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>

#include <exception>

namespace veravo {

class Exception : public std::exception {
 public:
  explicit Exception(const AnsiString& message) : Message(message) {}
  const char* what() const noexcept override { return Message.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

  AnsiString Message;
};

#define VERAVO_EXCEPTION_CLASS(Name, Base)                   \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// A string list index outside the list.
VERAVO_EXCEPTION_CLASS(EStringListError, Exception);
// A character index outside a string.
VERAVO_EXCEPTION_CLASS(ERangeError, Exception);
// A text that is not a number.
VERAVO_EXCEPTION_CLASS(EConvertError, Exception);
// A data set error: unknown field, closed data set, failed query.
VERAVO_EXCEPTION_CLASS(EDatabaseError, Exception);
// An operation that needs an object that is not there (for the components:
// a method that needs an open port when none is open). Raised instead of
// dereferencing a null pointer.
VERAVO_EXCEPTION_CLASS(EAccessViolation, Exception);
// An operation not allowed in the object's present state.
VERAVO_EXCEPTION_CLASS(EInvalidOperation, Exception);
// A device input or output operation that failed or did not finish in time.
VERAVO_EXCEPTION_CLASS(EInOutError, Exception);
// Component registration and creation errors.
VERAVO_EXCEPTION_CLASS(EComponentError, Exception);
// Form file reading and writing errors.
VERAVO_EXCEPTION_CLASS(EFilerError, Exception);
VERAVO_EXCEPTION_CLASS(EReadError, EFilerError);

#undef VERAVO_EXCEPTION_CLASS

}  // namespace veravo
