// Small owners for what the system hands out, so every path releases it.
#pragma once

#include <utility>

#include "os/System.h"

class TOwnedHandle {
 public:
  TOwnedHandle() = default;
  explicit TOwnedHandle(HANDLE Handle) : Value(Handle) {}
  ~TOwnedHandle() { Reset(); }
  TOwnedHandle(TOwnedHandle&& Other) noexcept : Value(Other.Release()) {}
  TOwnedHandle& operator=(TOwnedHandle&& Other) noexcept {
    if (this != &Other) {
      Reset();
      Value = Other.Release();
    }
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;

  HANDLE Get() const { return Value; }
  HANDLE* Receive() {
    Reset();
    return &Value;
  }
  // Null and INVALID_HANDLE_VALUE both mean "nothing was opened".
  bool Valid() const { return Value != nullptr && Value != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }
  HANDLE Release() { return std::exchange(Value, nullptr); }
  void Reset() {
    if (Valid()) Os().CloseHandle(Value);
    Value = nullptr;
  }

 private:
  HANDLE Value = nullptr;
};

class TOwnedKey {
 public:
  TOwnedKey() = default;
  ~TOwnedKey() { Reset(); }
  TOwnedKey(const TOwnedKey&) = delete;
  TOwnedKey& operator=(const TOwnedKey&) = delete;
  HKEY Get() const { return Value; }
  HKEY* Receive() {
    Reset();
    return &Value;
  }
  explicit operator bool() const { return Value != nullptr; }
  void Reset() {
    if (Value) Os().RegCloseKey(Value);
    Value = nullptr;
  }

 private:
  HKEY Value = nullptr;
};

class TOwnedSid {
 public:
  TOwnedSid() = default;
  ~TOwnedSid() {
    if (Value) Os().FreeSid(Value);
  }
  TOwnedSid(const TOwnedSid&) = delete;
  TOwnedSid& operator=(const TOwnedSid&) = delete;
  PSID Get() const { return Value; }
  PSID* Receive() { return &Value; }

 private:
  PSID Value = nullptr;
};

// A committed block from VirtualAlloc, released whole.
class TOwnedBlock {
 public:
  TOwnedBlock() = default;
  explicit TOwnedBlock(void* Block) : Value(Block) {}
  ~TOwnedBlock() { Reset(); }
  TOwnedBlock(TOwnedBlock&& Other) noexcept : Value(std::exchange(Other.Value, nullptr)) {}
  TOwnedBlock& operator=(TOwnedBlock&& Other) noexcept {
    if (this != &Other) {
      Reset();
      Value = std::exchange(Other.Value, nullptr);
    }
    return *this;
  }
  TOwnedBlock(const TOwnedBlock&) = delete;
  TOwnedBlock& operator=(const TOwnedBlock&) = delete;
  void* Get() const { return Value; }
  explicit operator bool() const { return Value != nullptr; }
  void Reset() {
    if (Value) Os().VirtualFree(Value, 0, MEM_RELEASE);
    Value = nullptr;
  }

 private:
  void* Value = nullptr;
};
