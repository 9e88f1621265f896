// Streams: the abstract TStream, memory, file and string streams.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classes/object.h"

namespace vcl {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
    DBV_CLASS(TStream, TObject)
public:
    // Reads up to count bytes, returns how many were read.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes count bytes, returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t p) { Seek(p, soBeginning); }
    virtual int64_t GetSize();
    virtual void SetSize(int64_t newSize);
    // Raise EReadError "Stream read error" / EWriteError "Stream write error" when short.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (all of it from its start when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);
    // Everything from the current position to the end.
    std::string ReadAll();
    void WriteString(std::string_view s) { WriteBuffer(s.data(), int64_t(s.size())); }
};

class TCustomMemoryStream : public TStream {
    DBV_CLASS(TCustomMemoryStream, TStream)
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    const uint8_t* Memory() const { return data_.data(); }
    void SaveToStream(TStream& s);
    void SaveToFile(const std::string& name);

protected:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

class TMemoryStream : public TCustomMemoryStream {
    DBV_CLASS(TMemoryStream, TCustomMemoryStream)
public:
    TMemoryStream() = default;
    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t newSize) override;
    void Clear();
    void LoadFromStream(TStream& s);
    void LoadFromFile(const std::string& name);
    std::vector<uint8_t>& Bytes() { return data_; }
};

// Text held in a std::string.
class TStringStream : public TStream {
    DBV_CLASS(TStringStream, TStream)
public:
    explicit TStringStream(std::string s = {}) : data_(std::move(s)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    const std::string& DataString() const { return data_; }

private:
    std::string data_;
    int64_t pos_ = 0;
};

// File modes as the platform combines them: one open mode plus one share mode.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A file. Share modes map to advisory locks (flock): exclusive and deny-write take an exclusive
// or shared lock that other TFileStreams honour. Raises EFCreateError "Cannot create file X" /
// EFOpenError "Cannot open file X" (with the system's reason appended).
class TFileStream : public TStream {
    DBV_CLASS(TFileStream, TStream)
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int GetHandle() const { return fd_; }
    const std::string& GetFileName() const { return name_; }
    void Flush();  // fsync

private:
    std::string name_;
    int fd_ = -1;
};

}  // namespace vcl
