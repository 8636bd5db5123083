#include "base/Archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "base/FileIo.h"
#include "base/StringTable.h"

namespace tallyhawk {

namespace {

constexpr std::uint8_t kShortLengthEscape = 0xFF;
constexpr std::uint16_t kLongLengthEscape = 0xFFFF;
constexpr std::uint16_t kWideMarker = 0xFFFE;
constexpr std::size_t kFileBufferSize = 64 * 1024;
// Strings from a stream of unknown size are read in pieces of this size, so
// that memory grows only with the bytes that really arrive.
constexpr std::size_t kUnknownSizeChunk = 64 * 1024;

class CMemoryReader : public CArchiveStream {
public:
    explicit CMemoryReader(std::string_view bytes) : bytes(bytes) {}
    std::size_t Read(void* data, std::size_t size) override {
        std::size_t n = std::min(size, bytes.size() - position);
        std::memcpy(data, bytes.data() + position, n);
        position += n;
        return n;
    }
    void Write(const void*, std::size_t) override { throw CArchiveException(CArchiveException::Generic); }
    std::uint64_t Remaining() const override { return bytes.size() - position; }

private:
    std::string_view bytes;
    std::size_t position = 0;
};

class CMemoryWriter : public CArchiveStream {
public:
    explicit CMemoryWriter(std::string& buffer) : buffer(buffer) {}
    std::size_t Read(void*, std::size_t) override { return 0; }
    void Write(const void* data, std::size_t size) override {
        buffer.append(static_cast<const char*>(data), size);
    }
    std::uint64_t Remaining() const override { return 0; }

private:
    std::string& buffer;
};

// Buffered reading from a file descriptor. The size that remains is known
// for regular files (taken once, at construction).
class CFileReader : public CArchiveStream {
public:
    explicit CFileReader(int fd) : fd(fd), buffer(kFileBufferSize) {
        struct stat st {};
        off_t offset = lseek(fd, 0, SEEK_CUR);
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && offset >= 0) {
            fileRemaining = st.st_size > offset ? static_cast<std::uint64_t>(st.st_size - offset) : 0;
        }
    }
    std::size_t Read(void* data, std::size_t size) override {
        char* out = static_cast<char*>(data);
        std::size_t done = 0;
        while (done < size) {
            if (start == end) {
                // Large reads go straight to the caller's memory.
                if (size - done >= buffer.size()) {
                    std::size_t n = ReadSome(out + done, size - done);
                    if (n == 0) break;
                    done += n;
                    continue;
                }
                start = 0;
                end = ReadSome(buffer.data(), buffer.size());
                if (end == 0) break;
            }
            std::size_t n = std::min(size - done, end - start);
            std::memcpy(out + done, buffer.data() + start, n);
            start += n;
            done += n;
        }
        return done;
    }
    void Write(const void*, std::size_t) override { throw CArchiveException(CArchiveException::Generic); }
    std::uint64_t Remaining() const override {
        if (fileRemaining == kUnknownSize) return kUnknownSize;
        return fileRemaining + (end - start);
    }

private:
    std::size_t ReadSome(char* data, std::size_t size) {
        for (;;) {
            ssize_t n = ::read(fd, data, size);
            if (n >= 0) {
                if (fileRemaining != kUnknownSize) {
                    fileRemaining -= std::min<std::uint64_t>(fileRemaining, static_cast<std::uint64_t>(n));
                }
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) throw COsException();
        }
    }

    int fd;
    std::vector<char> buffer;
    std::size_t start = 0;
    std::size_t end = 0;
    std::uint64_t fileRemaining = kUnknownSize;
};

class CFileWriter : public CArchiveStream {
public:
    explicit CFileWriter(int fd) : fd(fd) { buffer.reserve(kFileBufferSize); }
    ~CFileWriter() override {
        try {
            Flush();
        } catch (const CException&) {
            // The owner that cares calls Flush itself and sees the error.
        }
    }
    std::size_t Read(void*, std::size_t) override { return 0; }
    void Write(const void* data, std::size_t size) override {
        if (buffer.size() + size > kFileBufferSize) {
            Flush();
            if (size >= kFileBufferSize) {
                tallyhawk::WriteAll(fd, data, size);
                return;
            }
        }
        buffer.insert(buffer.end(), static_cast<const char*>(data),
                      static_cast<const char*>(data) + size);
    }
    std::uint64_t Remaining() const override { return 0; }
    void Flush() override {
        std::vector<char> pending;
        pending.swap(buffer);
        buffer.reserve(kFileBufferSize);
        tallyhawk::WriteAll(fd, pending.data(), pending.size());
    }

private:

    int fd;
    std::vector<char> buffer;
};

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

CArchiveException::CArchiveException(Cause cause) : cause(cause) {}

std::string CArchiveException::Message() const {
    return LoadString(cause == EndOfFile ? IDS_ARCHIVE_END_OF_FILE : IDS_ARCHIVE_FAILED);
}

bool CArchiveException::GetErrorMessage(char* buffer, std::size_t size,
                                        unsigned* helpContext) const {
    CopyCut(Message(), buffer, size);
    if (helpContext) *helpContext = 0;
    return true;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    std::size_t count = bytes.size() / 2;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t code = unit(2 * i);
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < count) {
            std::uint32_t low = unit(2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
        AppendUtf8(out, code);
    }
    return out;
}

CArchive::CArchive(std::string_view bytes)
    : stream(std::make_unique<CMemoryReader>(bytes)), mode(Load) {}

CArchive::CArchive(std::string& buffer)
    : stream(std::make_unique<CMemoryWriter>(buffer)), mode(Store) {}

CArchive::CArchive(int fd, Mode mode) : mode(mode) {
    if (mode == Load) {
        stream = std::make_unique<CFileReader>(fd);
    } else {
        stream = std::make_unique<CFileWriter>(fd);
    }
}

CArchive::CArchive(std::unique_ptr<CArchiveStream> stream, Mode mode)
    : stream(std::move(stream)), mode(mode) {}

CArchive::~CArchive() = default;

void CArchive::Flush() { stream->Flush(); }

void CArchive::WriteBytes(const void* data, std::size_t size) {
    if (size > 0) stream->Write(data, size);
}

void CArchive::WriteByte(std::uint8_t value) { WriteBytes(&value, 1); }

void CArchive::WriteWord(std::uint16_t value) {
    unsigned char bytes[2] = {static_cast<unsigned char>(value),
                              static_cast<unsigned char>(value >> 8)};
    WriteBytes(bytes, sizeof bytes);
}

void CArchive::WriteDword(std::uint32_t value) {
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    WriteBytes(bytes, sizeof bytes);
}

void CArchive::WriteTime(std::int64_t seconds) {
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    WriteLong(static_cast<std::int32_t>(std::clamp(seconds, low, high)));
}

void CArchive::WriteString(std::string_view text) {
    std::uint64_t n = text.size();
    if (n > UINT32_MAX) throw CArchiveException(CArchiveException::Generic);
    if (n < kShortLengthEscape) {
        WriteByte(static_cast<std::uint8_t>(n));
    } else if (n < kWideMarker) {
        WriteByte(kShortLengthEscape);
        WriteWord(static_cast<std::uint16_t>(n));
    } else {
        WriteByte(kShortLengthEscape);
        WriteWord(kLongLengthEscape);
        WriteDword(static_cast<std::uint32_t>(n));
    }
    WriteBytes(text.data(), text.size());
}

void CArchive::WriteDouble(double value) {
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    WriteDword(static_cast<std::uint32_t>(bits));
    WriteDword(static_cast<std::uint32_t>(bits >> 32));
}

void CArchive::RequireRemaining(std::uint64_t bytes) const {
    std::uint64_t remaining = stream->Remaining();
    if (remaining != CArchiveStream::kUnknownSize && bytes > remaining) {
        throw CArchiveException(CArchiveException::EndOfFile);
    }
}

void CArchive::ReadBytes(void* data, std::size_t size) {
    RequireRemaining(size);
    if (size > 0 && stream->Read(data, size) != size) {
        throw CArchiveException(CArchiveException::EndOfFile);
    }
}

std::uint8_t CArchive::ReadByte() {
    std::uint8_t value;
    ReadBytes(&value, 1);
    return value;
}

std::uint16_t CArchive::ReadWord() {
    unsigned char bytes[2];
    ReadBytes(bytes, sizeof bytes);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t CArchive::ReadDword() {
    unsigned char bytes[4];
    ReadBytes(bytes, sizeof bytes);
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::int64_t CArchive::ReadTime() { return ReadLong(); }

double CArchive::ReadDouble() {
    std::uint64_t low = ReadDword();
    std::uint64_t bits = low | (static_cast<std::uint64_t>(ReadDword()) << 32);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint64_t CArchive::ReadStringLength(bool& wide) {
    wide = false;
    std::uint8_t first = ReadByte();
    if (first < kShortLengthEscape) return first;
    std::uint16_t word = ReadWord();
    if (word == kWideMarker) {
        // The wide marker: one more prefix follows, counting UTF-16 units. In
        // that prefix 0xFFFE is a length like any other word below 0xFFFF.
        wide = true;
        first = ReadByte();
        if (first < kShortLengthEscape) return first;
        word = ReadWord();
    }
    if (word == kLongLengthEscape) return ReadDword();
    return word;
}

std::string CArchive::ReadString() {
    bool wide = false;
    std::uint64_t n = ReadStringLength(wide);
    std::uint64_t bytes = wide ? n * 2 : n;
    RequireRemaining(bytes);
    std::string text;
    if (stream->Remaining() != CArchiveStream::kUnknownSize) {
        text.resize(static_cast<std::size_t>(bytes));
        ReadBytes(text.data(), text.size());
    } else {
        while (text.size() < bytes) {
            std::size_t piece = static_cast<std::size_t>(
                std::min<std::uint64_t>(kUnknownSizeChunk, bytes - text.size()));
            std::size_t old = text.size();
            text.resize(old + piece);
            ReadBytes(text.data() + old, piece);
        }
    }
    if (wide) return Utf16LeToUtf8(text);
    return text;  // moved, not copied
}

}  // namespace tallyhawk
