#include "base/Exception.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/StringTable.h"

namespace tallyhawk {

namespace {

int DefaultMessageBox(const std::string& text, unsigned) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

std::atomic<MessageBoxHandler> messageBoxHandler{&DefaultMessageBox};

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    messageBoxHandler.store(handler ? handler : &DefaultMessageBox);
}

int ShowMessageBox(const std::string& text, unsigned boxType) {
    return messageBoxHandler.load()(text, boxType);
}

void CopyCut(const std::string& text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

CGenericException CGenericException::FromResource(unsigned resourceId) {
    return CGenericException(LoadString(resourceId));
}

bool CGenericException::GetErrorMessage(char* buffer, std::size_t size,
                                        unsigned* helpContext) const {
    CopyCut(message, buffer, size);
    if (helpContext) *helpContext = 0;
    return true;
}

int CGenericException::ReportError(unsigned boxType, unsigned resourceId) {
    if (message.empty()) message = resourceId != 0 ? LoadString(resourceId) : kNoErrorMessage;
    return ShowMessageBox(message, boxType);
}

std::string COsException::SystemText(std::uint32_t code) {
    // strerror_r (GNU flavour) gives "Unknown error N" for codes it does not
    // know; those have no system text of their own.
    char buffer[256];
    const char* text = nullptr;
    if (code <= 4095) {
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
        text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
#else
        if (strerror_r(static_cast<int>(code), buffer, sizeof buffer) == 0) text = buffer;
#endif
        if (text && std::strncmp(text, "Unknown error", 13) == 0) text = nullptr;
    }
    if (text) return text;
    return FormatString(IDS_OS_ERROR, {code});
}

COsException::COsException() : COsException(static_cast<std::uint32_t>(errno)) {}

COsException::COsException(std::uint32_t code) : CGenericException(SystemText(code)), code(code) {}

COsException::COsException(std::uint32_t code, std::string message)
    : CGenericException(std::move(message)), code(code) {}

CXpException::CXpException(const char* text) {
    std::size_t n = text ? strnlen(text, kMessageSize) : 0;
    if (n) std::memcpy(message, text, n);
    message[n] = '\0';
}

}  // namespace tallyhawk
