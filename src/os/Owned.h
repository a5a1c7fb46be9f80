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

// Owns one object of the system and frees it with Free, on every path.
template <typename THandle, auto Free>
class TOwned {
 public:
  TOwned() = default;
  explicit TOwned(THandle Handle) : Handle_(Handle) {}
  ~TOwned() { Reset(); }
  TOwned(TOwned&& Other) noexcept : Handle_(std::exchange(Other.Handle_, nullptr)) {}
  TOwned& operator=(TOwned&& Other) noexcept {
    if (this != &Other) {
      Reset();
      Handle_ = std::exchange(Other.Handle_, nullptr);
    }
    return *this;
  }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  THandle Get() const { return Handle_; }
  // For a call that hands the object out through a pointer: the one held
  // before is freed first.
  THandle* Receive() {
    Reset();
    return &Handle_;
  }
  explicit operator bool() const { return Handle_ != nullptr; }
  // For an object the system takes over: it is no longer freed here.
  THandle Release() { return std::exchange(Handle_, nullptr); }
  void Reset(THandle Handle = nullptr) {
    if (Handle_) Free(Handle_);
    Handle_ = Handle;
  }

 private:
  THandle Handle_ = nullptr;
};

// A committed block from VirtualAlloc, released whole.
inline void FreeBlock(void* Block) { Os().VirtualFree(Block, 0, MEM_RELEASE); }
using TOwnedBlock = TOwned<void*, FreeBlock>;
inline void CloseKey(HKEY Key) { Os().RegCloseKey(Key); }
using TOwnedKey = TOwned<HKEY, CloseKey>;
inline void ReleaseSid(PSID Sid) { Os().FreeSid(Sid); }
using TOwnedSid = TOwned<PSID, ReleaseSid>;
inline void FreeGlobal(HGLOBAL Memory) { Os().GlobalFree(Memory); }
using TOwnedGlobal = TOwned<HGLOBAL, FreeGlobal>;
