// The program's exception classes.
//
// CException is the common base of the program's reportable failures, the
// counterpart of the framework exception family: every boundary that reports
// errors catches `const CException&`, asks for the text with GetErrorMessage
// and shows or logs it. Exceptions are thrown by value and caught by const
// reference; nothing is ever allocated to raise one.
//
// CXpException stands apart: it is raised by the program's own containers
// (CXpArray, CXpString) when memory runs out and is deliberately not a
// CException, so that only catch-all handlers see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallyhawk {

// The string table's texts IDS_NO_ERROR_MESSAGE and IDS_ALLOCATION_FAILED,
// for the places that may not allocate or look up (memory has run out).
extern const char* const kNoErrorMessage;
extern const char* const kAllocationFailed;

class CException {
public:
    virtual ~CException() = default;

    // Copies the message into `buffer`, cut to size - 1 bytes and always
    // terminated (nothing is written when size is 0). Sets *helpContext to 0
    // when given. Returns true when a text was produced.
    virtual bool GetErrorMessage(char* buffer, std::size_t size,
                                 unsigned* helpContext = nullptr) const = 0;

    // The full message text, uncut.
    virtual std::string Message() const = 0;

    // Name of the exception's class, for diagnostics.
    virtual const char* ClassName() const = 0;
};

// A failure described by a text.
class CGenericException : public CException {
public:
    CGenericException() : message(kNoErrorMessage) {}
    explicit CGenericException(const char* text) : message(text ? text : kNoErrorMessage) {}
    explicit CGenericException(std::string text) : message(std::move(text)) {}
    // The text of string resource `resourceId`; empty when there is none.
    static CGenericException FromResource(unsigned resourceId);

    bool GetErrorMessage(char* buffer, std::size_t size,
                         unsigned* helpContext = nullptr) const override;
    std::string Message() const override { return message; }
    const char* ClassName() const override { return "CGenericException"; }

    // Shows the message in the application's message box (see SetMessageBoxHandler)
    // and returns the box's result. An empty message is first replaced by the
    // text of `resourceId`, or by kNoErrorMessage when that id is 0.
    int ReportError(unsigned boxType = 0, unsigned resourceId = 0);

protected:
    std::string message;
};

// A failure of an operating-system call or an internet operation, with its code.
// The message is the system's text for the code ("Operating System Error %lu"
// when the system has none).
class COsException : public CGenericException {
public:
    // The calling thread's last error (errno here).
    COsException();
    explicit COsException(std::uint32_t code);
    // `code` with a message of the caller's own, which says what failed.
    COsException(std::uint32_t code, std::string message);

    std::uint32_t Code() const { return code; }
    const char* ClassName() const override { return "COsException"; }

    // The system's text for `code`, as stored in the message.
    static std::string SystemText(std::uint32_t code);

private:
    std::uint32_t code;
};

// Raised by value by CXpArray and CXpString when memory runs out.
class CXpException {
public:
    static constexpr std::size_t kMessageSize = 256;
    // Keeps at most the first 256 bytes of `text`.
    explicit CXpException(const char* text);
    virtual ~CXpException() = default;
    const char* GetMessage() const { return message; }

private:
    char message[kMessageSize + 1];  // one more for the terminator
};

// The application's message box: shows `text` with a box type and returns the
// pressed button. The core has no windows; the GUI installs its own handler.
// The default writes the text to standard error and returns 1 (IDOK).
using MessageBoxHandler = int (*)(const std::string& text, unsigned boxType);
void SetMessageBoxHandler(MessageBoxHandler handler);
int ShowMessageBox(const std::string& text, unsigned boxType);

// Copies `text` into `buffer` cut to size - 1 bytes and terminated.
void CopyCut(const std::string& text, char* buffer, std::size_t size);

}  // namespace tallyhawk
