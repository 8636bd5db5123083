// CArchive: the byte encoding of every record the program stores.
//
// An archive is a flat run of little-endian fields with no header, no
// alignment and no object tags. The fields:
//
//   BYTE    1 byte, unsigned. Booleans are written 0 or 1; any non-zero byte
//           reads as true.
//   WORD    2 bytes, unsigned.
//   DWORD   4 bytes, signed or unsigned as the record says.
//   TIME    4 bytes, signed seconds since 1970-01-01 00:00:00 UTC; 0 is the
//           owners' "never". Held as 64-bit seconds in memory.
//   STRING  a length prefix, then exactly that many bytes, no terminator:
//             length < 255           1 byte: the length
//             255 <= length < 65534  0xFF, then the length as a WORD
//             length >= 65534        0xFF, WORD 0xFFFF, then the length as a DWORD
//           Read only: 0xFF, WORD 0xFFFE, a second prefix of the same forms,
//           then length x 2 bytes of UTF-16LE text, loaded as UTF-8.
//   DOUBLE  8 bytes, IEEE 754, little-endian.
//
// Every length read from the stream is checked against the bytes that remain
// before anything is allocated or copied, so a damaged record can neither run
// past its end nor ask for a huge allocation.
//
// An archive either stores or loads, fixed at construction. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace tallyhawk {

// Raised when stored bytes cannot be read: the stream ends inside a field, or
// a string claims more bytes than remain.
class CArchiveException : public CException {
public:
    enum Cause : int {
        Generic = 1,
        EndOfFile = 3,
    };

    explicit CArchiveException(Cause cause);

    Cause GetCause() const { return cause; }
    bool GetErrorMessage(char* buffer, std::size_t size,
                         unsigned* helpContext = nullptr) const override;
    std::string Message() const override;
    const char* ClassName() const override { return "CArchiveException"; }

private:
    Cause cause;
};

// Where an archive's bytes come from or go to.
class CArchiveStream {
public:
    static constexpr std::uint64_t kUnknownSize = UINT64_MAX;

    virtual ~CArchiveStream() = default;
    // Reads up to `size` bytes; returns how many were read, 0 at the end.
    virtual std::size_t Read(void* data, std::size_t size) = 0;
    // Writes all `size` bytes or throws.
    virtual void Write(const void* data, std::size_t size) = 0;
    // Bytes that remain to be read, kUnknownSize when the stream cannot tell.
    virtual std::uint64_t Remaining() const = 0;
    virtual void Flush() {}
};

class CArchive {
public:
    enum Mode { Store, Load };

    // Loads from `bytes`, which must outlive the archive.
    explicit CArchive(std::string_view bytes);
    // Stores by appending to `buffer`, which must outlive the archive.
    explicit CArchive(std::string& buffer);
    // Loads from or stores to an open file descriptor, buffered, starting at
    // its current offset. The descriptor is not owned. Storing: call Flush
    // before closing the descriptor; the destructor flushes too but cannot
    // report a failure.
    CArchive(int fd, Mode mode);
    // Any other stream; the archive owns it.
    CArchive(std::unique_ptr<CArchiveStream> stream, Mode mode);
    ~CArchive();

    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return mode == Store; }
    bool IsLoading() const { return mode == Load; }

    // Storing. Writes to a file throw COsException with the system's code.
    void WriteByte(std::uint8_t value);
    void WriteBool(bool value) { WriteByte(value ? 1 : 0); }
    void WriteWord(std::uint16_t value);
    void WriteDword(std::uint32_t value);
    void WriteLong(std::int32_t value) { WriteDword(static_cast<std::uint32_t>(value)); }
    // Seconds since 1970; values outside the signed 32-bit range are clamped to it.
    void WriteTime(std::int64_t seconds);
    // Throws CArchiveException(Generic) for a string of 4 GiB or more.
    void WriteString(std::string_view text);
    void WriteDouble(double value);
    void WriteBytes(const void* data, std::size_t size);

    // Loading. Each throws CArchiveException(EndOfFile) when the stream ends
    // inside the field.
    std::uint8_t ReadByte();
    bool ReadBool() { return ReadByte() != 0; }
    std::uint16_t ReadWord();
    std::uint32_t ReadDword();
    std::int32_t ReadLong() { return static_cast<std::int32_t>(ReadDword()); }
    std::int64_t ReadTime();
    std::string ReadString();
    double ReadDouble();
    void ReadBytes(void* data, std::size_t size);

    // Loading: bytes that remain to be read, CArchiveStream::kUnknownSize
    // when the stream cannot tell. Records that hold a count of entries
    // check it against this before they make room for them.
    std::uint64_t Remaining() const { return stream->Remaining(); }

    // Pushes buffered bytes to the stream (storing).
    void Flush();

private:
    std::uint64_t ReadStringLength(bool& wide);
    void RequireRemaining(std::uint64_t bytes) const;

    std::unique_ptr<CArchiveStream> stream;
    Mode mode;
};

// Converts UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

}  // namespace tallyhawk
