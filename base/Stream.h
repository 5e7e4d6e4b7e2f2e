#pragma once
// Byte streams in the shape the components were written against: a received document goes
// to a TStream, page text comes from a TMemoryStream, downloads go to a TFileStream.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavimo {

enum class SeekOrigin { Beginning, Current, End };

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Beginning); }
  // Writes everything or throws EStreamError.
  void WriteBuffer(const void* buffer, std::int64_t count);
};

class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;
  void Clear();

  const char* Memory() const { return data_.data(); }
  std::string_view View() const { return data_; }

 private:
  std::string data_;
  std::int64_t pos_ = 0;
};

// Discards what is written; counts it. Useful as a sink for a body nobody keeps.
class TNullStream : public TStream {
 public:
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return size_; }
  void SetSize(std::int64_t size) override;

 private:
  std::int64_t size_ = 0;
  std::int64_t pos_ = 0;
};

class TFileStream : public TStream {
 public:
  enum class Mode { Create, OpenRead, OpenReadWrite };
  // Create: "Cannot create file %s"; the open modes: "Cannot open file %s" (file name for %s).
  TFileStream(const std::string& fileName, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

}  // namespace tavimo
