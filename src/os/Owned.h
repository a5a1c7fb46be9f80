// Small owners for what the system hands out, so every path releases it.
#pragma once

#include <utility>

#include "os/System.h"

inline bool IsNull(const void* Object) { return Object == nullptr; }

// Owns one object of the system and frees it with Free, on every path. Empty
// says which values stand for no object: they are never freed.
template <typename THandle, auto Free, auto Empty = IsNull>
class TOwned {
 public:
  TOwned() = default;
  explicit TOwned(THandle Handle) : Handle_(Handle) {}
  ~TOwned() { Reset(); }
  TOwned(TOwned&& Other) noexcept : Handle_(Other.Release()) {}
  TOwned& operator=(TOwned&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
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
  bool Valid() const { return !Empty(Handle_); }
  explicit operator bool() const { return Valid(); }
  // Hands the object on; it is no longer freed here.
  THandle Release() { return std::exchange(Handle_, nullptr); }
  void Reset(THandle Handle = nullptr) {
    if (Valid()) Free(Handle_);
    Handle_ = Handle;
  }

 private:
  THandle Handle_ = nullptr;
};

// Null and INVALID_HANDLE_VALUE both mean "nothing was opened".
inline bool NoHandle(HANDLE Handle) { return Handle == nullptr || Handle == INVALID_HANDLE_VALUE; }
inline void CloseOwnedHandle(HANDLE Handle) { Os().CloseHandle(Handle); }
using TOwnedHandle = TOwned<HANDLE, CloseOwnedHandle, NoHandle>;

// A committed block from VirtualAlloc, released whole.
inline void FreeBlock(void* Block) { Os().VirtualFree(Block, 0, MEM_RELEASE); }
using TOwnedBlock = TOwned<void*, FreeBlock>;
inline void CloseKey(HKEY Key) { Os().RegCloseKey(Key); }
using TOwnedKey = TOwned<HKEY, CloseKey>;
inline void ReleaseSid(PSID Sid) { Os().FreeSid(Sid); }
using TOwnedSid = TOwned<PSID, ReleaseSid>;
inline void FreeGlobal(HGLOBAL Memory) { Os().GlobalFree(Memory); }
using TOwnedGlobal = TOwned<HGLOBAL, FreeGlobal>;
